#include "app/AppContext.h"
#include "app/MsgBox.h"
#include "common/TestSupport.h"
#include "controls/cGrid.h"
#include "editor/EditorTestSupport.h"
#include "editor/frmCntContact.h"
#include "mainwindow/ContactEditorLink.h"
#include "mainwindow/frmMain.h"

#include <QLineEdit>
#include <QtTest>

// The editor opened from the main window, as the user opens it.
class tst_editorlink : public QObject
{
    Q_OBJECT

private:
    struct Seen
    {
        QString title;
        bool edit = false;
        QString firstName;
        bool cursorRestored = false;
    };

    static std::function<void(frmCntContact *)> fillAndSave(Seen &seen, const QString &first, const QString &last)
    {
        return [&seen, first, last](frmCntContact *d) {
            seen.title = d->windowTitle();
            seen.edit = d->g_bEdit;
            seen.cursorRestored = QApplication::overrideCursor() == nullptr;
            auto *f = d->findChild<QLineEdit *>(QStringLiteral("txtFirstName"));
            seen.firstName = f->text();
            f->setText(first);
            d->findChild<QLineEdit *>(QStringLiteral("txtLastName"))->setText(last);
            d->cmdOK_Click();
        };
    }

    static QStringList lastNames(frmMain *w)
    {
        QStringList names;
        for (int r = 1; r <= w->Grid()->Rows(); ++r)
            names << w->Grid()->CellText(r, frmMain::ColLastName);
        names.sort();
        return names;
    }

private slots:
    // A new contact is saved and shows up in the All list at once; the
    // dialog is gone when it closes.
    void newContactAppearsInTheList()
    {
        TempAppFolder f;
        SeedContacts({{{"First_Name", "Ann"}, {"Last_Name", "Lee"}}});
        auto *w = new frmMain;
        QVERIFY(w->Load());
        w->show();
        QTRY_COMPARE(w->Grid()->Rows(), 1);

        Seen seen;
        OnModal<frmCntContact> answer(fillAndSave(seen, QStringLiteral("Bob"), QStringLiteral("Moss")));
        OpenNewContactEditor(w);
        QVERIFY(answer.ran());
        QCOMPARE(answer.strays(), 0);
        QCOMPARE(seen.title, QStringLiteral("New contact"));
        QVERIFY(!seen.edit);
        QVERIFY(seen.cursorRestored);
        QCOMPARE(CountContacts(), 2);
        QTRY_COMPARE(w->Grid()->Rows(), 2);
        QCOMPARE(lastNames(w), (QStringList{"Lee", "Moss"}));
        QVERIFY(w->findChildren<frmCntContact *>().isEmpty());
        delete w;
    }

    // Editing and cancelling changes nothing; the next "New contact" adds a
    // row and leaves the contact edited before alone.
    void editCancelThenNew()
    {
        TempAppFolder f;
        SeedContacts({{{"First_Name", "Ann"}, {"Last_Name", "Lee"}}});
        auto *w = new frmMain;
        QVERIFY(w->Load());
        w->show();
        QTRY_COMPARE(w->Grid()->Rows(), 1);
        const qint64 id = w->Grid()->CellText(1, frmMain::ColContactID).toLongLong();

        Seen opened;
        OnModal<frmCntContact> cancel([&](frmCntContact *d) {
            opened.title = d->windowTitle();
            opened.edit = d->g_bEdit;
            opened.firstName = d->findChild<QLineEdit *>(QStringLiteral("txtFirstName"))->text();
            d->findChild<QLineEdit *>(QStringLiteral("txtFirstName"))->setText(QStringLiteral("Changed"));
            d->cmdCancel_Click();
        });
        OpenContactEditor(w, id);
        QVERIFY(cancel.ran());
        QCOMPARE(opened.title, QStringLiteral("Contact"));
        QVERIFY(opened.edit);
        QCOMPARE(opened.firstName, QStringLiteral("Ann"));

        Seen seen;
        OnModal<frmCntContact> add(fillAndSave(seen, QStringLiteral("Bob"), QStringLiteral("Moss")));
        OpenNewContactEditor(w);
        QVERIFY(add.ran());
        QVERIFY(!seen.edit);
        QCOMPARE(seen.firstName, QString());
        QCOMPARE(CountContacts(), 2);
        QTRY_COMPARE(w->Grid()->Rows(), 2);
        QCOMPARE(lastNames(w), (QStringList{"Lee", "Moss"}));
        bool annKept = false;
        for (int r = 1; r <= w->Grid()->Rows(); ++r)
            annKept = annKept || (w->Grid()->CellText(r, frmMain::ColContactID).toLongLong() == id &&
                                  w->Grid()->CellText(r, frmMain::ColFirstName) == QLatin1String("Ann"));
        QVERIFY(annKept);
        delete w;
    }

    // A contact removed meanwhile: the user is told and no editor opens.
    void missingContactOpensNothing()
    {
        TempAppFolder f;
        SeedContacts({{{"First_Name", "Ann"}, {"Last_Name", "Lee"}}});
        auto *w = new frmMain;
        QVERIFY(w->Load());
        w->show();
        QTRY_COMPARE(w->Grid()->Rows(), 1);
        MsgBox::QueueAnswers({QMessageBox::Ok});
        OnModal<frmCntContact> none([](frmCntContact *d) { d->cmdCancel_Click(); }, 300);
        OpenContactEditor(w, 4242);
        QTest::qWait(350);
        QVERIFY(!none.ran());
        QCOMPARE(MsgBox::AskedTexts(), QStringList{QStringLiteral("The contact no longer exists in the database.")});
        QVERIFY(!QApplication::overrideCursor());
        QCOMPARE(CountContacts(), 1);
        delete w;
    }
};

QTEST_MAIN(tst_editorlink)
#include "tst_editorlink.moc"
