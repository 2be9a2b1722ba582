#include "common/TestSupport.h"
#include "editor/EditorTestSupport.h"
#include "settings/mdlCommDialog.h"

#include <QColorDialog>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QStandardPaths>
#include <QtTest>

class tst_commdialog : public QObject
{
    Q_OBJECT

private:
    static void touch(const QString &path)
    {
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
    }

private slots:
    void init()
    {
        CommDialogForTests::Reset();
        CommDialogForTests::ForgetRememberedPath();
    }

    void nameFilters_data()
    {
        QTest::addColumn<QString>("filter");
        QTest::addColumn<QStringList>("expected");
        const QChar n(0);
        QTest::newRow("one entry, patterns split at semicolons")
            << QString(QStringLiteral("media files (*.bmp; *.gif)") + n + QStringLiteral("*.bmp; *.gif") + n + n)
            << QStringList{QStringLiteral("media files (*.bmp; *.gif) (*.bmp *.gif)")};
        QTest::newRow("two entries, blanks and no blanks")
            << QString(QStringLiteral("Text") + n + QStringLiteral("*.txt;*.md") + n + QStringLiteral("All") + n +
                       QStringLiteral("*") + n + n)
            << QStringList{QStringLiteral("Text (*.txt *.md)"), QStringLiteral("All (*)")};
        QTest::newRow("empty filter") << QString() << QStringList();
    }

    void nameFilters()
    {
        QFETCH(QString, filter);
        QFETCH(QStringList, expected);
        QCOMPARE(mdlCommDialog::NameFilters(filter), expected);
    }

    void selection_data()
    {
        QTest::addColumn<QStringList>("paths");
        QTest::addColumn<bool>("cancelled");
        QTest::addColumn<QString>("folder");
        QTest::addColumn<QStringList>("names");
        QTest::newRow("cancel") << QStringList() << true << QString() << QStringList();
        QTest::newRow("one file") << QStringList{QStringLiteral("/home/u/pics/a.jpg")} << false
                                  << QStringLiteral("/home/u/pics") << QStringList{QStringLiteral("a.jpg")};
        QTest::newRow("two files, dialog order")
            << QStringList{QStringLiteral("/d/pics/c.gif"), QStringLiteral("/d/pics/b.bmp")} << false
            << QStringLiteral("/d/pics") << QStringList{QStringLiteral("c.gif"), QStringLiteral("b.bmp")};
        QTest::newRow("root folder") << QStringList{QStringLiteral("/a.bmp")} << false << QString()
                                     << QStringList{QStringLiteral("a.bmp")};
    }

    void selection()
    {
        QFETCH(QStringList, paths);
        QFETCH(bool, cancelled);
        QFETCH(QString, folder);
        QFETCH(QStringList, names);
        const SelectedFiles r = mdlCommDialog::SelectionFromPaths(paths);
        QCOMPARE(r.Cancelled, cancelled);
        QCOMPARE(r.Folder, folder);
        QCOMPARE(r.FileNames, names);
        QCOMPARE(r.FileCount, int(names.size()));
        // Folder + "/" + name gives back every chosen path, the root included.
        for (int i = 1; i <= r.FileCount; ++i)
            QCOMPARE(r.FilePath(i), paths.at(i - 1));
        QCOMPARE(r.FilePath(r.FileCount + 1), QString());
    }

    // One file is remembered and the next dialog starts in its folder; several
    // files and a cancel leave the remembered path alone.
    void rememberedPath()
    {
        TempAppFolder f;
        QDir().mkpath(f.file(QStringLiteral("pics")));
        const QString a = f.file(QStringLiteral("pics/a.jpg"));
        const QString b = f.file(QStringLiteral("pics/b.bmp"));
        touch(a);
        touch(b);

        QCOMPARE(mdlCommDialog::InitialFolder(), QDir::homePath());
        CommDialogForTests::SetNextOpenResult({a});
        SelectedFiles r = ShowOpenDialog(OpenFileRequest(), nullptr, false);
        QCOMPARE(CommDialogForTests::LastInitialFolder(), QDir::homePath());
        QCOMPARE(r.FileCount, 1);
        QCOMPARE(r.Folder, f.file(QStringLiteral("pics")));
        QCOMPARE(mdlCommDialog::RememberedPath(), a);

        CommDialogForTests::SetNextOpenResult({b, a});
        r = ShowOpenDialog(OpenFileRequest(), nullptr, false);
        QCOMPARE(CommDialogForTests::LastInitialFolder(), f.file(QStringLiteral("pics")));
        QCOMPARE(r.FileNames, (QStringList{QStringLiteral("b.bmp"), QStringLiteral("a.jpg")}));
        QCOMPARE(mdlCommDialog::RememberedPath(), a);

        CommDialogForTests::SetNextOpenResult({});
        r = ShowOpenDialog(OpenFileRequest(), nullptr, false);
        QVERIFY(r.Cancelled);
        QCOMPARE(r.FileCount, 0);
        QVERIFY(r.FileNames.isEmpty());
        QCOMPARE(mdlCommDialog::RememberedPath(), a);

        // A remembered folder that is gone: start at home again.
        QVERIFY(QDir(f.file(QStringLiteral("pics"))).removeRecursively());
        QCOMPARE(mdlCommDialog::InitialFolder(), QDir::homePath());
    }

    // The real dialog: Qt's own, in the remembered folder, with the filter, centred on its owner.
    void realOpenDialog()
    {
        TempAppFolder f;
        const QString a = f.file(QStringLiteral("a.jpg"));
        const QString b = f.file(QStringLiteral("b.gif"));
        touch(a);
        touch(b);
        CommDialogForTests::SetNextOpenResult({a});
        ShowOpenDialog(OpenFileRequest(), nullptr, false);

        QWidget owner;
        owner.setGeometry(100, 80, 900, 700);
        owner.show();
        OpenFileRequest request;
        request.Title = QStringLiteral("Pick");
        request.Filter = QStringLiteral("pics") + QChar(0) + QStringLiteral("*.jpg;*.gif") + QChar(0) + QChar(0);
        QString folder, title;
        QStringList filters;
        bool native = true;
        QPoint centre;
        OnModal<QFileDialog> answer([&](QFileDialog *dlg) {
            folder = dlg->directory().absolutePath();
            title = dlg->windowTitle();
            filters = dlg->nameFilters();
            native = !dlg->testOption(QFileDialog::DontUseNativeDialog);
            centre = dlg->frameGeometry().center();
            dlg->selectFile(QStringLiteral("b.gif"));
            QMetaObject::invokeMethod(dlg, "accept");
        });
        const SelectedFiles r = ShowOpenDialog(request, &owner, true);
        QVERIFY(answer.ran());
        QCOMPARE(answer.strays(), 0);
        QCOMPARE(folder, f.path());
        QCOMPARE(title, QStringLiteral("Pick"));
        QCOMPARE(filters, QStringList{QStringLiteral("pics (*.jpg *.gif)")});
        QVERIFY(!native);
        QVERIFY((centre - owner.frameGeometry().center()).manhattanLength() <= 2);
        QVERIFY(!r.Cancelled);
        QCOMPARE(r.FilePath(1), b);
        QCOMPARE(mdlCommDialog::RememberedPath(), b);
    }

    // The custom colours are set at the first dialog of the run, and what the
    // user changes there is offered again later in the run.
    void customColoursKeptForTheRun()
    {
        CommDialogForTests::SetNextColor(QColor());
        ShowColorDialog(nullptr, false);
        const QList<QColor> defaults = mdlCommDialog::DefaultCustomColors();
        QCOMPARE(QColorDialog::customColor(0), defaults.at(0));
        QColorDialog::setCustomColor(2, QColor(1, 2, 3)); // as the user would in the dialog
        CommDialogForTests::SetNextColor(QColor());
        ShowColorDialog(nullptr, false);
        QCOMPARE(QColorDialog::customColor(2), QColor(1, 2, 3));
        QCOMPARE(QColorDialog::customColor(3), defaults.at(3));
    }

    // The real colour dialog opens on white whatever was chosen before; cancel
    // gives -1. Nothing of it is stored: Qt's own settings file never appears,
    // so the next run starts from the built-in custom colours again.
    void realColourDialog()
    {
        const QString qtSettings =
            QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) + QStringLiteral("/QtProject.conf");
        QFile::remove(qtSettings);
        // An owner away from the middle: the dialog still goes to the screen's centre.
        QWidget owner;
        owner.setGeometry(0, 0, 200, 150);
        owner.show();
        const QPoint screenCentre = owner.screen()->geometry().center();
        for (const bool accept : {true, false}) {
            QColor initial;
            bool native = true;
            QPoint centre;
            OnModal<QColorDialog> answer([&](QColorDialog *dlg) {
                centre = dlg->frameGeometry().center();
                initial = dlg->currentColor();
                native = !dlg->testOption(QColorDialog::DontUseNativeDialog);
                if (accept) {
                    dlg->setCurrentColor(QColor(0, 0, 255));
                    dlg->accept();
                } else {
                    dlg->reject();
                }
            });
            const SelectedColor r = ShowColorDialog(&owner, false);
            QVERIFY(answer.ran());
            QVERIFY2((centre - screenCentre).manhattanLength() <= 2, qPrintable(QStringLiteral("%1,%2").arg(centre.x()).arg(centre.y())));
            QCOMPARE(initial, QColor(Qt::white));
            QVERIFY(!native);
            QCOMPARE(r.Color, accept ? 0xFF0000 : -1);
            QCOMPARE(r.Cancelled, !accept);
        }
        // Nowhere for a custom colour to outlive the run.
        QVERIFY(!QFile::exists(qtSettings));
    }
};

QTEST_MAIN(tst_commdialog)
#include "tst_commdialog.moc"
