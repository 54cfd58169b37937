// Result codes: the one integer every fallible operation of the engine, the
// runtime, the model, the media layer and the file services returns. 0 is
// success; 1 to 99 are generic and file-service codes; 1000 to 1021 are the
// engine's own. The words for each code live in engine/messages.
#pragma once

#include <cstdint>

enum ResultCode : int32_t {
    RC_OK = 0,

    // Generic codes of the runtime and the file services.
    RC_END_OF_FILE = 1,     // end of file reached where data was expected
    RC_TEXT_TOO_LONG = 4,   // a text result would exceed 2048 characters
    RC_NO_OBJECT = 5,       // an argument or handle is missing, or the runtime is unusable
    RC_USER_CANCELLED = 8,  // the user cancelled a disk prompt or a copy

    RC_UNABLE_TO_READ = 20,
    RC_UNABLE_TO_WRITE = 21,
    RC_FILE_NOT_FOUND = 22,
    RC_INVALID_FILE_NAME = 23,
    RC_WRITE_PROTECTED = 25,
    RC_DEVICE_NOT_READY = 26,
    RC_PERMISSION_DENIED = 27,
    RC_DISK_FULL = 28,
    RC_OS_ERROR = 29,

    RC_FILE_CORRUPT = 50,
    RC_TOO_MANY_OPEN_FILES = 52,
    RC_SHARING_VIOLATION = 53,
    RC_LOCK_VIOLATION = 54,

    // Engine codes.
    RC_UNABLE_TO_PARSE = 1000,
    RC_EMPTY = 1001,
    RC_INVALID_SLOP_SIZE = 1002,
    RC_INVALID_MEDIA_SIZE = 1003,
    RC_INVALID_SPLIT_SIZE = 1004,
    RC_NO_SPACE_WITH_SPLIT_SIZE = 1005,
    RC_NO_SPACE_WITHOUT_SPLITTING = 1006,
    RC_MAP_FILE_SIZE_CHANGED = 1007,
    RC_TOO_MANY_SEGMENTS = 1008,
    RC_NO_VOLUME_LABEL = 1009,
    RC_ILLEGAL_NLS_CALL = 1010,
    RC_DEPENDENT_PRODUCT_ERROR = 1011,
    RC_INVALID_THRESHOLD_SIZE = 1012,
    RC_UNKNOWN_PRODUCT_NAME = 1013,
    RC_WARN_PRD_INCLUDED = 1014,
    RC_WARN_ENGINE_OUT_OF_DATE = 1015,
    RC_WARN_INSTALLER_OUT_OF_DATE = 1016,
    RC_NO_DISKWARD_SUBDIR = 1017,
    RC_INVALID_TARGET_LOCATION = 1018,
    // A product's size, or the total of a product and its descendants,
    // does not fit the 32 bits of a Size column.
    RC_SIZE_TOO_LARGE = 1019,
    // A product's Volume cannot label its disks: a character a disk label
    // cannot hold, or a label longer than 11 characters with the disk number.
    RC_INVALID_VOLUME_LABEL = 1020,
    // A replication target that is, or lies below, something other than a
    // directory (a file, a link that points nowhere).
    RC_TARGET_NOT_A_DIRECTORY = 1021,
};

// The line number that report callers pass when there is no line to name.
constexpr int32_t NO_LINE = 2147483647;

// Limits of the data model.
constexpr int PATH_LIMIT = 260;
constexpr int TEXT_LIMIT = 2048;
constexpr int OS_WORD_LIMIT = 9;
