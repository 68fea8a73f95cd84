// The security of an install folder the run creates. On Windows Vista and
// later any authenticated user may create folders at the root of the
// system drive, and what is created there inherits "modify" for all of
// them; an add-in installed there could be replaced by any user and would
// then run inside the administrator's Developer Studio. So a folder the
// run creates keeps none of its parent's permissions: SYSTEM, the
// Administrators and the installing user may change what is in it,
// everyone else may read and run it, and everything below inherits that.
// A folder that exists already keeps its own: it is the user's choice.
#pragma once
#include <windows.h>

// An allowing ACE (ACCESS_ALLOWED_ACE) with a SID of the given size.
#define FOLDER_ACE(sidBytes) \
    struct {                 \
        ACE_HEADER header;   \
        ACCESS_MASK mask;    \
        BYTE sid[sidBytes];  \
    }

// A self-relative security descriptor (its parts found by their offsets
// from its start) holding only a DACL: everything but the user's entry is
// the same on every machine and comes from a constant.
typedef struct FixedFolderSecurity {
    SECURITY_DESCRIPTOR_RELATIVE descriptor;
    ACL acl;
    FOLDER_ACE(12) system;          // S-1-5-18
    FOLDER_ACE(16) administrators;  // S-1-5-32-544
    FOLDER_ACE(16) users;           // S-1-5-32-545
} FixedFolderSecurity;

typedef struct InstallFolderSecurity {
    FixedFolderSecurity fixed;
    FOLDER_ACE(SECURITY_MAX_SID_SIZE) user;  // the ACL's last entry
    DWORD token[(sizeof(TOKEN_USER) + SECURITY_MAX_SID_SIZE) / sizeof(DWORD)];
} InstallFolderSecurity;

// Builds the descriptor in security. Returns 1, or 0 when the process's
// user cannot be read.
int BuildInstallFolderSecurity(InstallFolderSecurity *security);

// Creates the install folder, one level, with that descriptor; a volume
// without security (FAT) ignores it and creates the folder as before.
// When the descriptor cannot be built the folder is not created, and the
// run then fails at its first file, as for any folder it cannot create.
void CreateInstallFolder(const char *folder);
