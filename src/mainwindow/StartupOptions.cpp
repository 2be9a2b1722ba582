#include "mainwindow/StartupOptions.h"

#include "settings/frmOptions.h"
#include "settings/mdlOptions.h"

namespace {
StoredOptions g_stored;
}

void LoadStartupOptions(frmMain *main)
{
    // There is no installer to create the option keys: without them no option
    // would ever be kept.
    EnsureOptionKeys();
    // The options dialog is loaded hidden; its load reads the stored options.
    g_stored = frmOptions::LoadHidden(main)->LastStored();
}

void UnloadStartupOptions()
{
    frmOptions::UnloadForReal();
}

void ShowOptionsDialog(frmMain *main)
{
    frmOptions *dialog = frmOptions::LoadHidden(main);
    dialog->exec();
}

StartupLook StoredLook()
{
    StartupLook look;
    if (g_stored.picColor)
        look.titleBackground = *g_stored.picColor;
    if (g_stored.picTextColor)
        look.titleText = *g_stored.picTextColor;
    if (g_stored.chkViewGrid)
        look.gridLines = *g_stored.chkViewGrid == 1;
    if (g_stored.chkHoTrack)
        look.hotTrack = *g_stored.chkHoTrack == 1;
    return look;
}

bool SortByFirstName()
{
    return Options().OptSortByFirstName;
}

qint32 AppColor()
{
    return Options().OptAppColor;
}
