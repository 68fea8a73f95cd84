// The Corvane Torvik Add-in component (Quenbrik.dll): its COM identity and
// the members of its dispatch interface. Shared by the component and by the
// programs that test it.
#pragma once
#include <windows.h>

#define TORVIK_CLSID_TEXT         "{CFB9CFE1-5EA5-4052-A7FE-337580D78118}"
#define TORVIK_PROGID             "Corvane.Torvik.1"
#define TORVIK_VERSIONLESS_PROGID "Corvane.Torvik"
#define TORVIK_DESCRIPTION        "Corvane Torvik Add-in"
#define TORVIK_VERSION_TEXT       "1.0"

// Where the component registers itself: per user, no administrator needed.
#define TORVIK_CLASSES_ROOT "Software\\Classes"

static const CLSID CLSID_TorvikAddIn = {
    0xcfb9cfe1, 0x5ea5, 0x4052, {0xa7, 0xfe, 0x33, 0x75, 0x80, 0xd7, 0x81, 0x18}};

// Read-only properties of the add-in object, reached through IDispatch
// ("Name" and "Version", both strings).
#define TORVIK_DISPID_NAME    1
#define TORVIK_DISPID_VERSION 2
