// One timed run of a whole install (the setup program driven from start to
// exit) or of the plain copy that is its floor.
#pragma once
#include <windows.h>

#include <string>

namespace timed {

struct RunTimes {
    bool ok = false;
    std::string error;
    double wallMs = 0;     // CreateProcess to the process's end
    double cpuMs = 0;      // the child's user + kernel time, read at the finish box
                           // (setup) or at the end of copying (plain copy)
    double dialogMs = 0;   // CreateProcess to the setup dialog on screen
    double installMs = 0;  // Install pressed to the first message box
};

double NowMs();

// Starts setupExe, waits for its dialog, sets the folder box to folder,
// presses Install, dismisses the registration failure expected of a payload
// without the add-in component when registrationMayFail, answers No to the
// finish box and waits for the exit.
RunTimes RunInstall(const std::string &setupExe, const std::string &folder, bool registrationMayFail);

// Runs copier SOURCE DESTINATION to its end.
RunTimes RunPlainCopy(const std::string &copier, const std::string &source, const std::string &destination);

}  // namespace timed
