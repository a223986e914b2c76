#pragma once

// How a file was deleted.
enum class Deletion {
    Trashed, // into the user's trash, where it can be restored
    Deleted, // no trash takes it: deleted for good
    Failed,  // still there
};
