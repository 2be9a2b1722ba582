#include "common/TestSupport.h"

#include "app/AppContext.h"
#include "app/MsgBox.h"
#include "controls/cGrid.h"
#include "mainwindow/frmMain.h"
#include "settings/RegistryStore.h"
#include "settings/mdlOptions.h"
#include "store/mdlMDB.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <QtGlobal>
#include <QtTest>

#include <cstdlib>
#include <sqlite3.h>

namespace {

// Runs before main(): the tests never touch the machine's own files or folders.
void prepareProcess()
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    static QTemporaryDir home(QDir::tempPath() + QStringLiteral("/ardentia-test-home-XXXXXX"));
    qputenv("HOME", home.path().toUtf8());
    QDir(home.path()).mkpath(QStringLiteral("runtime"));
    const QString runtime = home.path() + QStringLiteral("/runtime");
    QFile::setPermissions(runtime, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    qputenv("XDG_RUNTIME_DIR", runtime.toUtf8());
    for (const char *v : {"XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME", "XDG_STATE_HOME"})
        qunsetenv(v);
    QStandardPaths::setTestModeEnabled(true);
}
Q_CONSTRUCTOR_FUNCTION(prepareProcess)

} // namespace

TempAppFolder::TempAppFolder()
{
    QStandardPaths::setTestModeEnabled(true);
    InitProductConstants();
    App().AppClosing = false;
    MsgBox::ResetForTests();
    SetApplicationFolder(m_dir.path());
    // Each test starts with an empty settings store and the options unset.
    RegistryStore::instance().setFile(m_dir.path() + QStringLiteral("/config/registry.sqlite"));
    Options() = OptionState();
}

void TempAppFolder::installLanguageFile() const
{
    QDir(path()).mkpath(QStringLiteral("trans"));
    QFile::copy(QStringLiteral(ARDENTIA_SOURCE_DIR "/resources/trans/eng.txt"), file(QStringLiteral("trans/eng.txt")));
}

void SeedContacts(const QList<ContactRow> &rows)
{
    auto cn = Connection::open(AppFilePath(QStringLiteral("/db/db.sqlite")));
    cn->exec(QStringLiteral("BEGIN"));
    for (const ContactRow &row : rows) {
        Recordset rs(*cn);
        rs.open(QStringLiteral("SELECT * FROM Contacts WHERE 0"));
        rs.addNew();
        for (auto it = row.begin(); it != row.end(); ++it)
            rs.setField(it.key().toLatin1().constData(), it.value());
        rs.update();
    }
    cn->exec(QStringLiteral("COMMIT"));
}

int CountContacts()
{
    auto cn = Connection::open(AppFilePath(QStringLiteral("/db/db.sqlite")));
    Recordset rs(*cn);
    rs.open(QStringLiteral("SELECT count(*) FROM Contacts"));
    return rs.field(0).toInt();
}

std::unique_ptr<frmMain> OpenMainWindow(int expectedRows)
{
    auto main = std::make_unique<frmMain>();
    if (!main->Load())
        return nullptr;
    main->show();
    if (!QTest::qWaitForWindowExposed(main.get()))
        return nullptr;
    if (!QTest::qWaitFor([&] { return !main->IsFilling() && main->Grid()->Rows() == expectedRows; }, 20000))
        return nullptr;
    QTest::qWait(1); // the deferred first fill has run even when it found nothing
    return main;
}

QStringList ListColumn(const frmMain *main, int column)
{
    QStringList values;
    for (int r = 1; r <= main->Grid()->Rows(); ++r)
        values << main->Grid()->CellText(r, column);
    return values;
}
