#include <windows.h>
#include <commctrl.h>

#include "app/application_win.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int showCommand) {
    INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_LISTVIEW_CLASSES | ICC_TAB_CLASSES | ICC_BAR_CLASSES |
                                                        ICC_PROGRESS_CLASS | ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&controls);
    static qv::Application app(instance);
    if (!app.Form_Load(showCommand)) return app.windowFailed() ? 1 : 0;
    return app.run();
}
