#include "platform/platform.h"

Platform::~Platform() = default;
