// What the run finds below the install folder before it writes there. The
// install folder is the user's choice and may be a link; below it the run
// follows nothing that already exists: an elevated install must not be
// steered by a link, junction or hard link that someone planted there.
#pragma once
#include <windows.h>

// Notes where the install root really lies (its final path), for
// IsPlainFile. Where the platform cannot tell final paths (Windows XP),
// the other checks still apply.
void LearnInstallRoot(const char *installRoot);

// 1 unless the folder at path (named without a final backslash) is a link
// or a junction: a reparse point with a link's tag (reparse_tag.h).
int IsPlainFolder(const char *path);

// 1 when file, open on path (the install root followed by relative), is a
// plain file with one name (a reparse point only with a tag that is no
// link's), reached through no link: its final path is the install root's
// followed by relative. *info receives what the platform says of the file.
int IsPlainFile(HANDLE file, const char *path, const char *relative, BY_HANDLE_FILE_INFORMATION *info);

// Opens path for reading, sharing reading only, when it is still the file
// that *was describes (same volume, same file index). Otherwise returns
// NULL.
HANDLE OpenSameFile(const char *path, const BY_HANDLE_FILE_INFORMATION *was);

// Tells the user that path is not a plain folder or file (reason) and that
// nothing was written through it. Returns 0.
int ReportNotPlain(const char *path, const char *reason);
