#include "mainwindow/frmMain.h"

#include "app/AppContext.h"
#include "app/MsgBox.h"
#include "app/mdlSetFormIcon32.h"
#include "store/mdlMDB.h"

#include <QCloseEvent>
#include <QDir>

#include <cstdio>

frmMain::frmMain(QWidget *parent) : QMainWindow(parent)
{
    setObjectName(QStringLiteral("frmMain"));
}

frmMain::~frmMain()
{
    Unload();
}

bool frmMain::Load()
{
    SetFormIcon(this, QStringLiteral("AAA"), true);
    setWindowTitle(App().AppTitle);
    try {
        mdlMDB::OpenDatabase(QStringLiteral("/db/db.sqlite"), SharedDb());
    } catch (const StoreError &e) {
        const QString text = QStringLiteral("The contact database could not be opened.\n\n%1\n\n%2")
                                 .arg(QDir::toNativeSeparators(e.file()), e.message());
        std::fprintf(stderr, "%s\n", qPrintable(text));
        MsgBox::Fail(this, text);
        return false;
    }
    resize(754, 481);
    m_loaded = true;
    return true;
}

void frmMain::closeEvent(QCloseEvent *event)
{
    Unload();
    event->accept();
}

void frmMain::Unload()
{
    if (!m_loaded)
        return;
    m_loaded = false;
    App().AppClosing = true;
    mdlMDB::CloseDatabase(SharedDb());
}
