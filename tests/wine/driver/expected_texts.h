// What the setup program says, for the tests that drive or read it. The
// texts its code shows come from the program's own headers. Those that only
// its resource script holds are stated here, as the program must show them,
// so that the tests hold the built resources to them.
#pragma once
#include "host.h"
#include "payload_messages.h"
#include "setup.h"

#define EXPECTED_FINISHED_TEXT                                                                 \
    "All done!  The Readme.htm file located in the Addins\\Quenbrik folder contains more   \n" \
    "information about the Corvane Torvik Add-in.  \n\n"                                       \
    "Would you like to read the Readme.htm file now? (Highly recommended.)"
#define EXPECTED_HELP_TEXT                                                                      \
    "This setup program contains in compressed form the several files that make up the "        \
    "Corvane Torvik Add-in package.\n\nClicking the Install button in the main dialog causes "  \
    "the program to write the files to the folder you specify. If the folder does not already " \
    "exist, this program creates it.\n\nAccept the suggested folder to install the Torvik "     \
    "Add-in to Visual Studio's Addins folder. This allows Visual Studio to automatically "      \
    "locate the Torvik Add-in at startup."
#define EXPECTED_ABOUT_TITLE "About Corvane Setup"
