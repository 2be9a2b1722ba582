#include "mainwindow/StartupOptions.h"

#include "app/MsgBox.h"
#include "settings/RegistryStore.h"
#include "mainwindow/frmMain.h"
#include "settings/frmOptions.h"

#include <QDir>
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
    RegistryStore &store = RegistryStore::instance();
    if (!store.isAvailable()) {
        frmOptions::ReportStoreProblem(main, QStringLiteral("The stored options could not be read."));
    } else if (!store.setAsideFileName().isEmpty() && store.firstProblemNotice()) {
        MsgBox::Inform(main, QStringLiteral("The settings file %1 was damaged. It was kept as %2, and the options "
                                            "start again from their defaults.")
                                 .arg(QDir::toNativeSeparators(store.fileName()),
                                      QDir::toNativeSeparators(store.setAsideFileName())));
    }
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
