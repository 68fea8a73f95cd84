#include "install_folder_security.h"
#include "process_token.h"

#include <stddef.h>

// Every entry is inherited by the files and folders below.
#define INHERITED_BY_ALL (OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE)
// The rights are the files' own (not generic ones), so that each entry
// means the same on the folder and on everything that inherits it.
#define READ_AND_RUN (FILE_GENERIC_READ | FILE_GENERIC_EXECUTE)

// The descriptor has no owner or group (the platform's defaults for the
// creator) and no SACL; its DACL is protected, so nothing is inherited
// from the parent folder. SIDs in their binary form: revision 1, the
// number of subauthorities, the NT authority 5, each subauthority in
// little-endian order. The ACL's size and count include the user's entry.
static const FixedFolderSecurity FIXED_SECURITY = {
    {SECURITY_DESCRIPTOR_REVISION, 0, SE_SELF_RELATIVE | SE_DACL_PRESENT | SE_DACL_PROTECTED, 0, 0, 0,
     offsetof(FixedFolderSecurity, acl)},
    {ACL_REVISION, 0, 0, 4, 0},
    {{ACCESS_ALLOWED_ACE_TYPE, INHERITED_BY_ALL, sizeof FixedFolderSecurity::system},
     FILE_ALL_ACCESS,
     {1, 1, 0, 0, 0, 0, 0, 5, 18, 0, 0, 0}},
    {{ACCESS_ALLOWED_ACE_TYPE, INHERITED_BY_ALL, sizeof FixedFolderSecurity::administrators},
     FILE_ALL_ACCESS,
     {1, 2, 0, 0, 0, 0, 0, 5, 32, 0, 0, 0, 0x20, 2, 0, 0}},
    {{ACCESS_ALLOWED_ACE_TYPE, INHERITED_BY_ALL, sizeof FixedFolderSecurity::users},
     READ_AND_RUN,
     {1, 2, 0, 0, 0, 0, 0, 5, 32, 0, 0, 0, 0x21, 2, 0, 0}},
};

int BuildInstallFolderSecurity(InstallFolderSecurity *security)
{
    if (!QueryProcessToken(TokenUser, security->token, sizeof security->token))
        return 0;
    const SID *user = (const SID *)((TOKEN_USER *)security->token)->User.Sid;
    // A SID is 8 bytes and 4 for each subauthority; the token's own holds
    // at most SID_MAX_SUB_AUTHORITIES.
    WORD sidBytes = (WORD)(8 + 4 * user->SubAuthorityCount);
    WORD aceBytes =
        (WORD)(offsetof(InstallFolderSecurity, user.sid) - offsetof(InstallFolderSecurity, user) + sidBytes);
    security->fixed = FIXED_SECURITY;
    security->fixed.acl.AclSize =
        (WORD)(offsetof(InstallFolderSecurity, user) - offsetof(FixedFolderSecurity, acl) + aceBytes);
    security->user.header.AceType = ACCESS_ALLOWED_ACE_TYPE;
    security->user.header.AceFlags = INHERITED_BY_ALL;
    security->user.header.AceSize = aceBytes;
    security->user.mask = FILE_ALL_ACCESS;
    CopyMemory(security->user.sid, user, sidBytes);
    return 1;
}

void CreateInstallFolder(const char *folder)
{
    InstallFolderSecurity security;
    SECURITY_ATTRIBUTES attributes = {sizeof attributes, &security, FALSE};
    if (BuildInstallFolderSecurity(&security))
        CreateDirectoryA(folder, &attributes);
}
