// The texts the extraction run shows, each defined once.
#pragma once

#define MSG_EXISTS_AS_FILE  "Given name already exists as a file.   \nPlease choose a new folder name."
#define MSG_FOLDER_TOO_LONG "The folder name is too long.\nPlease choose a shorter folder name."
#define MSG_ENTRY_FAILED    "Failed to create temporary file  "
#define MSG_PAYLOAD_DAMAGED "The setup data is damaged. Please obtain a new copy of the Setup program."
