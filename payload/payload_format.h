// The payload format's facts, shared by the setup program, the packer and
// the tests. Platform-free and without a C runtime: plain macros, so that
// the program, the packer and the resource script can all take them.
#pragma once

// The resource that carries the payload. The resource compiler stores the
// name in upper case; the platform finds it without regard to case.
#define PAYLOAD_RESOURCE_TYPE "TEXT"
#define PAYLOAD_RESOURCE_NAME "XPackArchive"

// Characters of the first entry's name kept as the top folder.
#define TOP_FOLDER_MAX 12

// The add-in component's and the readme's places in the component folder
// (the install folder and the top folder), matched without regard to case
// as the file system does; and the export the program registers the
// component by. The packer warns about a payload that lacks them.
#define COMPONENT_TAIL            "\\Quenbrik.dll"
#define README_TAIL               "\\Quenbrik\\Readme.htm"
#define COMPONENT_REGISTER_EXPORT "DllRegisterServer"

// The progress bar counts the payload in units of PROGRESS_UNIT bytes
// within its 16-bit range, so a payload must stay below PAYLOAD_SIZE_LIMIT.
#define PROGRESS_UNIT      100
#define PAYLOAD_SIZE_LIMIT (65536UL * PROGRESS_UNIT)

// Path buffers are the platform's MAX_PATH bytes: this many characters
// before the terminator.
#define SETUP_PATH_MAX      260
#define PATH_TEXT_MAX_CHARS (SETUP_PATH_MAX - 1)
