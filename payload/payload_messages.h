// The texts the extraction run shows, each defined once.
#pragma once

#define MSG_EXISTS_AS_FILE  "Given name already exists as a file.   \nPlease choose a new folder name."
#define MSG_FOLDER_TOO_LONG "The folder name is too long.\nPlease choose a shorter one."
#define MSG_ENTRY_FAILED    "Failed to create temporary file  "
#define MSG_PAYLOAD_DAMAGED "The setup data is damaged.\nPlease obtain a new copy of Setup."

// An item below the install folder that is not what the payload needs
// there: the message is its path, then one of the two reasons, then what
// became of it.
#define MSG_NOT_PLAIN_FOLDER "\nis a link, not a plain folder."
#define MSG_NOT_PLAIN_FILE   "\nis a link or hard link, not a plain file."
#define MSG_NOTHING_WRITTEN  "\nNothing was written through it."
