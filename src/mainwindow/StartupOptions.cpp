#include "mainwindow/StartupOptions.h"

void LoadStartupOptions(frmMain *main)
{
    Q_UNUSED(main);
}

void UnloadStartupOptions() {}

StartupLook StoredLook()
{
    return StartupLook();
}

bool SortByFirstName()
{
    return false;
}

qint32 AppColor()
{
    return 0;
}
