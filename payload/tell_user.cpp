// The message boxes that tell the user something (tell_user.h).
#include "tell_user.h"
#include "setup.h"

int TellUser(const char *text, UINT icon)
{
    MessageBoxA(NULL, text, SETUP_TITLE, icon);
    return 0;
}
