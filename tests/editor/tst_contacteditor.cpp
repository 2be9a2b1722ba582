#include "app/AppContext.h"
#include "app/MsgBox.h"
#include "common/TestSupport.h"
#include "controls/cGrid.h"
#include "controls/cTabControl.h"
#include "editor/EditorTestSupport.h"
#include "editor/ItemListPage.h"
#include "editor/frmCntContact.h"
#include "editor/frmCntItemEditor.h"
#include "store/DateText.h"
#include "store/ItemList.h"

#include <QComboBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QtTest>

namespace {

// One stored contact, every column as text ("<null>" for a null).
QVariantMap readContact(qint64 id)
{
    auto cn = Connection::open(AppFilePath(QStringLiteral("/db/db.sqlite")));
    Recordset rs(*cn);
    rs.open(QStringLiteral("SELECT * FROM Contacts WHERE ContactID=%1").arg(id));
    QVariantMap row;
    if (rs.atEnd())
        return row;
    for (const QString &c : ContactColumns()) {
        const int i = rs.columnIndex(c.toLatin1().constData());
        row.insert(c, rs.isNull(i) ? QStringLiteral("<null>") : rs.text(i));
    }
    return row;
}

qint64 lastId()
{
    auto cn = Connection::open(AppFilePath(QStringLiteral("/db/db.sqlite")));
    Recordset rs(*cn);
    rs.open(QStringLiteral("SELECT max(ContactID) FROM Contacts"));
    return rs.field(0).toLongLong();
}

const ContactRow kAnn = {{"First_Name", "Ann"},
                         {"Last_Name", "Lee"},
                         {"Company", "Acme"},
                         {"Address", "1 Main St"},
                         {"Category", "Friends"},
                         {"Phones", "555:*:home\r\n777:*:\r\n"},
                         {"Mails", "ann@x:*:work\r\n"},
                         {"Websites", ""},
                         {"Notes", "line 1\nline 2"},
                         {"Date_Registed", "2001-02-03 04:05:06"},
                         {"Picture", "/nowhere/ann.jpg"}};

} // namespace

class tst_contacteditor : public QObject
{
    Q_OBJECT

private:
    template <typename T = QWidget>
    static T *child(const QWidget &d, const char *name)
    {
        T *w = d.findChild<T *>(QLatin1String(name));
        if (!w)
            qWarning("no child %s", name);
        return w;
    }

private slots:
    void cleanup() { frmCntContact::SetSortByFirstNameOverride(std::nullopt); }

    // A stray Enter or Escape neither saves nor throws the contact away.
    void strayKeys_data()
    {
        QTest::addColumn<QString>("target");
        QTest::addColumn<int>("key");
        QTest::newRow("Escape in a name") << "txtLastName" << int(Qt::Key_Escape);
        QTest::newRow("Return in a name") << "txtLastName" << int(Qt::Key_Return);
        QTest::newRow("Enter in the category") << "cboCategory" << int(Qt::Key_Enter);
        QTest::newRow("Return on OK") << "cmdOK" << int(Qt::Key_Return);
    }

    void strayKeys()
    {
        QFETCH(QString, target);
        QFETCH(int, key);
        TempAppFolder f;
        OpenDb db;
        frmCntContact d;
        child<QLineEdit>(d, "txtFirstName")->setText(QStringLiteral("Half"));
        child<QLineEdit>(d, "txtLastName")->setText(QStringLiteral("Typed"));
        d.show();
        QVERIFY(QTest::qWaitForWindowExposed(&d));
        QWidget *w = d.findChild<QWidget *>(target);
        w->setFocus();
        QTest::keyClick(w, Qt::Key(key));
        QVERIFY(d.isVisible());
        QCOMPARE(d.result(), 0);
        QCOMPARE(CountContacts(), 0);
        QCOMPARE(child<QLineEdit>(d, "txtLastName")->text(), QStringLiteral("Typed"));
        QCOMPARE(d.CategoryBox()->count(), 0);
    }

    // Only the name the option names is required; spaces count as a name.
    void nameCheck_data()
    {
        QTest::addColumn<bool>("byFirst");
        QTest::addColumn<QString>("first");
        QTest::addColumn<QString>("last");
        QTest::addColumn<QString>("message");
        QTest::newRow("by first, both empty") << true << "" << "" << "The 'first name' field is empty.";
        QTest::newRow("by first, first only") << true << "Ann" << "" << "";
        QTest::newRow("by last, first only") << false << "Ann" << "" << "The 'last name' field is empty.";
        QTest::newRow("by last, last only") << false << "" << "Lee" << "";
        QTest::newRow("by last, spaces") << false << "" << "   " << "";
        QTest::newRow("by first, spaces") << true << " " << "" << "";
    }

    void nameCheck()
    {
        QFETCH(bool, byFirst);
        QFETCH(QString, first);
        QFETCH(QString, last);
        QFETCH(QString, message);
        TempAppFolder f;
        OpenDb db;
        frmCntContact::SetSortByFirstNameOverride(byFirst);
        frmCntContact d;
        child<QLineEdit>(d, "txtFirstName")->setText(first);
        child<QLineEdit>(d, "txtLastName")->setText(last);
        child<QLineEdit>(d, "txtCompany")->setText(QStringLiteral("kept"));
        d.show();
        QVERIFY(QTest::qWaitForWindowExposed(&d));
        d.activateWindow();
        child(d, "txtCompany")->setFocus();
        MsgBox::QueueAnswers({QMessageBox::Ok});
        const bool saved = d.cmdOK_Click();
        QCOMPARE(saved, message.isEmpty());
        QCOMPARE(CountContacts(), saved ? 1 : 0);
        if (saved) {
            QVERIFY(MsgBox::AskedTexts().isEmpty());
            QCOMPARE(d.result(), int(QDialog::Accepted));
            QCOMPARE(readContact(lastId()).value("Last_Name").toString(), last);
        } else {
            QCOMPARE(MsgBox::AskedTexts(), QStringList{message});
            QVERIFY(d.isVisible());
            QCOMPARE(d.focusWidget(), child(d, byFirst ? "txtFirstName" : "txtLastName"));
            QCOMPARE(child<QLineEdit>(d, "txtCompany")->text(), QStringLiteral("kept"));
        }
    }

    // A new contact: every column written as typed, the item lists encoded,
    // the date of the save, the picture kept; untouched fields are empty text.
    void newContact()
    {
        TempAppFolder f;
        OpenDb db;
        frmCntContact::SetSortByFirstNameOverride(false);
        frmCntContact d;
        child<QLineEdit>(d, "txtFirstName")->setText(QStringLiteral(" O'Brien "));
        child<QLineEdit>(d, "txtLastName")->setText(QStringLiteral("Lee"));
        d.CategoryBox()->setEditText(QStringLiteral("Work"));
        frmCntContact::AddGridItem(d.PhonesPage()->Grid(), QStringLiteral("555"), QStringLiteral("home"));
        const QString before = StoredDateTime(QDateTime::currentDateTime());
        QVERIFY(d.cmdOK_Click());
        const QString after = StoredDateTime(QDateTime::currentDateTime());
        const QVariantMap row = readContact(lastId());
        QCOMPARE(row.value("First_Name").toString(), QStringLiteral(" O'Brien "));
        QCOMPARE(row.value("Category").toString(), QStringLiteral("Work"));
        QCOMPARE(row.value("Phones").toString(), QStringLiteral("555:*:home\r\n"));
        for (const char *empty : {"Company", "Address", "Mails", "Websites", "Notes", "Picture"})
            QCOMPARE(row.value(empty).toString(), QString());
        const QString date = row.value("Date_Registed").toString();
        QVERIFY2(date >= before && date <= after, qPrintable(date));
        QVERIFY(!d.g_bEdit);
        // A second OK (a double click while the list refreshes) adds nothing.
        QVERIFY(!d.cmdOK_Click());
        QCOMPARE(CountContacts(), 1);
    }

    // Opening fills every field; saving unchanged rewrites the same values
    // (a missing picture's path included) and moves the date to now.
    // OK writes only what the user changed: the other fields keep their stored
    // bytes, text in an 8-bit code page and text longer than a line edit's
    // usual limit included. Nothing changed, nothing is written.
    void editWritesOnlyWhatChanged()
    {
        TempAppFolder f;
        SeedContacts({kAnn});
        auto cn = Connection::open(AppFilePath(QStringLiteral("/db/db.sqlite")));
        cn->exec(QStringLiteral("UPDATE Contacts SET Last_Name = CAST(x'4DFC6C6C6572' AS TEXT), "
                                "First_Name = hex(zeroblob(50000)), Address = hex(zeroblob(20000))"));
        auto stored = [&cn](const char *expr) {
            Recordset rs(*cn);
            rs.open(QStringLiteral("SELECT %1 FROM Contacts").arg(QLatin1String(expr)));
            return rs.text(0);
        };
        OpenDb db;
        for (const bool change : {false, true}) {
            frmCntContact d;
            d.g_bEdit = true;
            d.g_lContactID = lastId();
            QVERIFY(d.OpenContact());
            QCOMPARE(child<QLineEdit>(d, "txtFirstName")->text().size(), 100000);
            QCOMPARE(child<QLineEdit>(d, "txtAddress")->text().size(), 40000);
            QCOMPARE(d.CategoryBox()->currentText(), QStringLiteral("Friends"));
            QCOMPARE(d.PhonesPage()->Grid()->Rows(), 2);
            QCOMPARE(d.PhonesPage()->Grid()->SelectedRow(), 1);
            QCOMPARE(d.SitesPage()->Grid()->SelectedRow(), 0);
            QCOMPARE(d.Tabs()->SelectedKey(), QStringLiteral("General"));
            if (change)
                child<QLineEdit>(d, "txtCompany")->setText(QStringLiteral("Zenith"));
            QVERIFY(d.cmdOK_Click());
            QVERIFY(!d.g_bEdit);
            if (!change)
                QCOMPARE(stored("Date_Registed"), QStringLiteral("2001-02-03 04:05:06"));
        }
        QCOMPARE(CountContacts(), 1);
        QCOMPARE(stored("hex(Last_Name) || length(First_Name) || length(Address)"),
                 QStringLiteral("4DFC6C6C6572") + QStringLiteral("100000") + QStringLiteral("40000"));
        QVERIFY(stored("Date_Registed") > QStringLiteral("2020")); // saved with the change
        QCOMPARE(stored("Company || Notes || Phones || Picture"),
                 QStringLiteral("Zenithline 1\nline 2555:*:home\r\n777:*:\r\n/nowhere/ann.jpg"));
    }

    // Each stored category once; empty and null ones not at all.
    void categories()
    {
        TempAppFolder f;
        SeedContacts({{{"Last_Name", "a"}, {"Category", "Friends"}},
                      {{"Last_Name", "b"}, {"Category", ""}},
                      {{"Last_Name", "c"}},
                      {{"Last_Name", "d"}, {"Category", "Work"}},
                      {{"Last_Name", "e"}, {"Category", "Friends"}}});
        OpenDb db;
        frmCntContact d;
        QStringList choices;
        for (int i = 0; i < d.CategoryBox()->count(); ++i)
            choices << d.CategoryBox()->itemText(i);
        choices.sort();
        QCOMPARE(choices, (QStringList{"Friends", "Work"}));
        QCOMPARE(d.CategoryBox()->currentText(), QString());
        // Filling the choices again neither repeats them nor drops what is typed.
        d.CategoryBox()->setEditText(QStringLiteral("Fam"));
        d.SetCats();
        QCOMPARE(d.CategoryBox()->count(), 2);
        QCOMPARE(d.CategoryBox()->currentText(), QStringLiteral("Fam"));
    }

    // Typing completes from the choices in their own letter case with the
    // added tail selected; Backspace and Delete keep the next change from
    // completing.
    void completion_data()
    {
        QTest::addColumn<QString>("start");
        QTest::addColumn<QList<int>>("keys"); // a key, or -1 for the next letter of `typed`
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("selected");
        QTest::newRow("lower case") << "" << QList<int>{-1} << "f" << "Friends" << "riends";
        QTest::newRow("upper case") << "" << QList<int>{-1} << "W" << "Work" << "ork";
        QTest::newRow("no match") << "" << QList<int>{-1} << "x" << "x" << "";
        QTest::newRow("whole entry typed") << "Wor" << QList<int>{-1} << "K" << "WorK" << "";
        QTest::newRow("backspace removes the tail") << "" << QList<int>{-1, Qt::Key_Backspace} << "f" << "F" << "";
        QTest::newRow("backspace then a letter completes again")
            << "" << QList<int>{-1, Qt::Key_Backspace, -1} << "fr" << "Friends" << "iends";
        QTest::newRow("delete removing nothing guards the next letter")
            << "" << QList<int>{Qt::Key_Delete, -1} << "f" << "f" << "";
    }

    void completion()
    {
        QFETCH(QString, start);
        QFETCH(QList<int>, keys);
        QFETCH(QString, typed);
        QFETCH(QString, text);
        QFETCH(QString, selected);
        TempAppFolder f;
        SeedContacts({{{"Last_Name", "a"}, {"Category", "Friends"}}, {{"Last_Name", "b"}, {"Category", "Work"}}});
        OpenDb db;
        frmCntContact d;
        QComboBox *cbo = d.CategoryBox();
        cbo->setEditText(start);
        cbo->lineEdit()->end(false);
        qsizetype next = 0;
        for (int key : keys) {
            if (key < 0)
                QTest::keyClicks(cbo, typed.mid(next++, 1));
            else
                QTest::keyClick(cbo, Qt::Key(key));
        }
        QCOMPARE(cbo->currentText(), text);
        QCOMPARE(cbo->lineEdit()->selectedText(), selected);
        QCOMPARE(cbo->count(), 2);
    }

    // Typed line breaks and ":*:" do not add, lose or merge entries.
    void awkwardItemsRoundTrip()
    {
        TempAppFolder f;
        OpenDb db;
        frmCntContact::SetSortByFirstNameOverride(false);
        qint64 id = 0;
        {
            frmCntContact d;
            child<QLineEdit>(d, "txtLastName")->setText(QStringLiteral("Lee"));
            cItemListPage *p = d.PhonesPage();
            OnModal<frmCntItemEditor> add([](frmCntItemEditor *e) {
                e->ItemBox()->setText(QStringLiteral("555"));
                e->DescriptionBox()->setPlainText(QStringLiteral("first line\r\nsecond line\nthird"));
                e->cmdOK_Click();
            });
            p->Add();
            QVERIFY(add.ran());
            p->ItemBox()->setText(QStringLiteral("a:*:b"));
            p->DescriptionBox()->setText(QStringLiteral("c:*:d\r\n"));
            p->InlineAdd();
            QVERIFY(d.cmdOK_Click());
            id = lastId();
        }
        const QString stored = readContact(id).value("Phones").toString();
        QCOMPARE(SplitItemList(stored).size(), 2);
        frmCntContact d;
        d.g_bEdit = true;
        d.g_lContactID = id;
        QVERIFY(d.OpenContact());
        cGrid *g = d.PhonesPage()->Grid();
        QCOMPARE(g->Rows(), 2);
        QCOMPARE(g->CellText(1, 1), QStringLiteral("555"));
        QVERIFY(g->CellText(1, 2).contains(QStringLiteral("second line")));
        QVERIFY(g->CellText(1, 2).contains(QStringLiteral("third")));
        QVERIFY(g->CellText(2, 1).startsWith(QStringLiteral("a:*")));
        QVERIFY(g->CellText(2, 1).endsWith(QStringLiteral("b")));
        QVERIFY(g->CellText(2, 2).startsWith(QStringLiteral("c:*")));
    }

    // Moving row 3 up saves the list in the order 1, 3, 2.
    void movedOrderIsSaved()
    {
        TempAppFolder f;
        OpenDb db;
        frmCntContact::SetSortByFirstNameOverride(false);
        frmCntContact d;
        child<QLineEdit>(d, "txtLastName")->setText(QStringLiteral("Lee"));
        cItemListPage *p = d.MailsPage();
        for (const char *m : {"1", "2", "3"})
            frmCntContact::AddGridItem(p->Grid(), QLatin1String(m), QString());
        p->Grid()->SetSelectedRow(3);
        p->MoveUp();
        QVERIFY(d.cmdOK_Click());
        QCOMPARE(readContact(lastId()).value("Mails").toString(), QStringLiteral("1:*:\r\n3:*:\r\n2:*:\r\n"));
    }

    // Removed between opening and OK: the save says so and adds nothing.
    void removedBeforeOk()
    {
        TempAppFolder f;
        SeedContacts({kAnn});
        OpenDb db;
        frmCntContact d;
        d.g_bEdit = true;
        d.g_lContactID = lastId();
        QVERIFY(d.OpenContact());
        SharedDb()->exec(QStringLiteral("DELETE FROM Contacts"));
        MsgBox::QueueAnswers({QMessageBox::Ok});
        QVERIFY(!d.cmdOK_Click());
        QCOMPARE(CountContacts(), 0);
        QCOMPARE(MsgBox::AskedTexts().size(), 1);
        QVERIFY(MsgBox::AskedTexts().first().contains(QStringLiteral("no longer exists")));
        QCOMPARE(d.result(), 0);
        QVERIFY(d.g_bEdit);
    }

    // An engine failure is reported and everything typed stays.
    void storeFailureKeepsInput()
    {
        TempAppFolder f;
        OpenDb db;
        frmCntContact::SetSortByFirstNameOverride(false);
        frmCntContact d;
        child<QLineEdit>(d, "txtLastName")->setText(QStringLiteral("Lee"));
        frmCntContact::AddGridItem(d.PhonesPage()->Grid(), QStringLiteral("555"), QString());
        SharedDb()->exec(QStringLiteral("DROP TABLE Contacts"));
        MsgBox::QueueAnswers({QMessageBox::Ok});
        QVERIFY(!d.cmdOK_Click());
        QCOMPARE(MsgBox::AskedTexts().size(), 1);
        QVERIFY(MsgBox::AskedTexts().first().contains(QStringLiteral("Contacts")));
        QCOMPARE(child<QLineEdit>(d, "txtLastName")->text(), QStringLiteral("Lee"));
        QCOMPARE(d.PhonesPage()->Grid()->Rows(), 1);
        QCOMPARE(d.result(), 0);
    }
};

QTEST_MAIN(tst_contacteditor)
#include "tst_contacteditor.moc"
