// Contacts in and out from the window (File menu, drops, the export dialog)
// and from the command line, with the window noticing the command line's work.
#include "support/GuiTestSupport.h"

#include "context/AppContext.h"
#include "controls/MsgBox.h"
#include "controls/cGrid.h"
#include "controls/cTreeView.h"
#include "controls/mdlCommDialog.h"
#include "mainwindow/ListColumns.h"
#include "mainwindow/frmMain.h"
#include "store/mdlMDB.h"
#include "transfer/Printout.h"
#include "transfer/Transfer.h"

#include <QComboBox>
#include <QDialog>
#include <QDropEvent>
#include <QFile>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QProcess>
#include <QPushButton>
#include <QPrintPreviewDialog>
#include <QPrintPreviewWidget>
#include <QRadioButton>
#include <QTextBlock>
#include <QTextDocument>
#include <QTemporaryDir>
#include <QtTest>

namespace {

const QByteArray kTwoAndBroken = "BEGIN:VCARD\r\nVERSION:3.0\r\nN:Ito;Kei\r\nCATEGORIES:Clients\r\nTEL:555 0101\r\nEND:VCARD\r\n"
                                 "BEGIN:VCARD\r\nVERSION:3.0\r\nN:Zorn;Uma\r\nthis line has no colon\r\nEND:VCARD\r\n"
                                 "BEGIN:VCARD\r\nVERSION:3.0\r\nN:Young;Yan\r\nEND:VCARD\r\n";

} // namespace

class tst_Transfer : public QObject
{
    Q_OBJECT

    std::unique_ptr<GuiTempAppFolder> m_folder;
    std::unique_ptr<frmMain> m_main;

    QString lastNames() const { return ListColumn(m_main.get(), ColLastName).join('|'); }
    void chooseMenu(const char *menuKey, const QString &entry) { ChooseMenu(m_main.get(), menuKey, entry); }
    static QString pdfText(const QString &pdf)
    {
        QProcess p;
        p.start("pdftotext", {"-layout", pdf, "-"});
        p.waitForFinished(30000);
        return QString::fromUtf8(p.readAllStandardOutput());
    }
    QString cardFile(const QByteArray &data)
    {
        const QString path = m_folder->file("in.vcf");
        WriteFile(path, data);
        return path;
    }

private slots:
    void init()
    {
        m_folder = std::make_unique<GuiTempAppFolder>();
        SeedContacts({{{"First_Name", "Ann"}, {"Last_Name", "Adams"}, {"Category", "Work"}}});
        m_main = OpenMainWindow(1);
        QVERIFY(m_main);
        m_main->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(m_main.get()));
    }
    void cleanup()
    {
        m_main.reset();
        m_folder.reset();
        CommDialogForTests::Reset();
    }

    // File > Import: asked before writing, reported after, one step to undo,
    // the tree and list following.
    void importFromMenu()
    {
        CommDialogForTests::SetNextOpenResult({cardFile(kTwoAndBroken)});
        MsgBox::QueueAnswers({QMessageBox::Yes, QMessageBox::Ok});
        chooseMenu("mnuFileTop", "&Import...");
        QVERIFY(WaitForList(m_main.get()));
        const QStringList asked = MsgBox::AskedTexts();
        QVERIFY2(asked.size() == 2 && asked.at(0).startsWith("2 new contacts, 0 updated contacts (the same UID), 1 cards skipped"),
                 qPrintable(asked.join('#')));
        QVERIFY2(asked.at(1).contains("2 added, 0 updated, 1 skipped") && asked.at(1).contains("in.vcf, line 10:"),
                 qPrintable(asked.at(1)));
        QCOMPARE(lastNames(), QStringLiteral("Adams|Ito|Young"));
        QVERIFY(m_main->findChild<cTreeView *>("cTreeView1")->NodeByKey("CAT:*:Clients"));
        chooseMenu("mnuEditTop", "&Undo import of 2 contacts");
        QVERIFY(WaitForList(m_main.get()));
        QCOMPARE(lastNames(), QStringLiteral("Adams"));
        // Answered No: nothing is written.
        CommDialogForTests::SetNextOpenResult({cardFile(kTwoAndBroken)});
        MsgBox::QueueAnswers({QMessageBox::No});
        chooseMenu("mnuFileTop", "&Import...");
        QCOMPARE(CountContacts(), 1);
    }

    // A CSV file of no known exporter: the columns are chosen in a dialog over
    // its first rows, and the choice is offered again for the same columns.
    void csvWithMapping()
    {
        const QString file = m_folder->file("club.csv");
        QVERIFY(WriteFile(file, "Who,Tel,Colour\r\nKim Park,555 0111,red\r\nLi Wu,555 0112,blue\r\n"));
        auto choose = [](QDialog *d, int column, const QString &text) {
            auto *box = d->findChild<QComboBox *>(QStringLiteral("cboColumn%1").arg(column));
            box->setFocus();
            while (box->currentText() != text && box->currentIndex() < box->count() - 1)
                QTest::keyClick(box, Qt::Key_Down);
        };
        QString seen;
        OnModal<QDialog> mapping([&](QDialog *d) {
            choose(d, 0, "Whole name");
            choose(d, 1, "Phone");
            choose(d, 2, "Keep as extra property");
            MsgBox::QueueAnswers({QMessageBox::Yes, QMessageBox::Ok});
            QTest::mouseClick(d->findChild<QPushButton *>("cmdOK"), Qt::LeftButton);
        });
        CommDialogForTests::SetNextOpenResult({file});
        chooseMenu("mnuFileTop", "&Import...");
        QTRY_VERIFY(mapping.ran());
        QVERIFY(WaitForList(m_main.get()));
        QCOMPARE(lastNames(), QStringLiteral("Adams|Park|Wu"));
        QCOMPARE(QueryText("SELECT Phones FROM Contacts WHERE Last_Name = 'Park'"), QStringLiteral("555 0111:*:\r\n"));
        QVERIFY(QueryText("SELECT Kept FROM ContactMeta JOIN Contacts USING (ContactID) WHERE Last_Name = 'Wu'")
                    .contains("blue"));
        // The same columns again: the dialog starts from the last choice.
        OnModal<QDialog> again([&](QDialog *d) {
            seen = d->findChild<QComboBox *>("cboColumn1")->currentText();
            d->reject();
        });
        CommDialogForTests::SetNextOpenResult({file});
        chooseMenu("mnuFileTop", "&Import...");
        QTRY_VERIFY(again.ran());
        QCOMPARE(seen, QStringLiteral("Phone"));
        QCOMPARE(CountContacts(), 3);
    }

    // A vCard file dropped on the window is imported.
    void dropImports()
    {
        auto *data = new QMimeData;
        data->setUrls({QUrl::fromLocalFile(cardFile(kTwoAndBroken))});
        const QPoint at = m_main->rect().center();
        QDragEnterEvent enter(at, Qt::CopyAction, data, Qt::LeftButton, {});
        QApplication::sendEvent(m_main.get(), &enter);
        QVERIFY(enter.isAccepted());
        MsgBox::QueueAnswers({QMessageBox::Yes, QMessageBox::Ok});
        QDropEvent drop(at, Qt::CopyAction, data, Qt::LeftButton, {});
        QApplication::sendEvent(m_main.get(), &drop);
        QTRY_COMPARE(CountContacts(), 3);
        QVERIFY(WaitForList(m_main.get()));
        QCOMPARE(lastNames(), QStringLiteral("Adams|Ito|Young"));
        delete data;
        // A dragged row carries the contact as a card and as a file.
        std::unique_ptr<QMimeData> out(Transfer::DragData(*SharedDb(), {1}));
        QVERIFY(out && out->data("text/vcard").contains("N:Adams;Ann;;;") && QFile::exists(out->urls().value(0).toLocalFile()));
    }

    // The export dialog: the selected contact, as 4.0, to the file typed in.
    void exportDialog()
    {
        const QRect r = m_main->findChild<cGrid *>("cGrid1")->visualRect(
            m_main->findChild<cGrid *>("cGrid1")->model()->index(0, ColLastName - 1));
        QTest::mouseClick(m_main->findChild<cGrid *>("cGrid1")->viewport(), Qt::LeftButton, {}, r.center());
        const QString path = m_folder->file("out.vcf");
        OnModal<QDialog> dialog([&](QDialog *d) {
            QTest::mouseClick(d->findChild<QRadioButton *>("optSelected"), Qt::LeftButton);
            auto *version = d->findChild<QComboBox *>("cboVersion");
            version->setFocus();
            QTest::keyClick(version, Qt::Key_Down);
            auto *file = d->findChild<QLineEdit *>("txtFile");
            file->selectAll();
            QTest::keyClicks(file, path);
            MsgBox::QueueAnswers({QMessageBox::Ok});
            QTest::mouseClick(d->findChild<QPushButton *>("cmdOK"), Qt::LeftButton);
        });
        chooseMenu("mnuFileTop", "E&xport...");
        QTRY_VERIFY(dialog.ran());
        QFile f(path);
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QByteArray card = f.readAll();
        QVERIFY2(card.count("BEGIN:VCARD") == 1 && card.contains("VERSION:4.0") && card.contains("FN:Ann Adams"), card.constData());
        QVERIFY(MsgBox::AskedTexts().last().startsWith("1 contacts were exported"));
    }

    // File > Export as PDF: the phone list of the current list, read back by
    // an outside reader; File > Print shows a preview of the labels.
    void printAndPdf()
    {
        SharedDb()->exec("UPDATE Contacts SET Phones = '555 0199:*:mobile' || char(13, 10), Company = 'Acme',"
                         " Address = '1 Main St' || char(10) || 'Springfield'");
        const QString pdf = m_folder->file("list.pdf");
        OnModal<QDialog> dialog([&](QDialog *d) {
            auto *file = d->findChild<QLineEdit *>("txtFile");
            file->selectAll();
            QTest::keyClicks(file, pdf);
            QTest::mouseClick(d->findChild<QPushButton *>("cmdOK"), Qt::LeftButton);
        });
        chooseMenu("mnuFileTop", "Export as P&DF...");
        QTRY_VERIFY(dialog.ran());
        const QString text = pdfText(pdf);
        QVERIFY2(text.contains("Ann Adams") && text.contains("555 0199 (mobile)") && text.contains("Acme") &&
                     QRegularExpression("(^|\\n)\\s*A\\s*(\\n|$)").match(text).hasMatch(),
                 qPrintable(text));

        int pages = 0;
        OnModal<QDialog> print([&](QDialog *d) {
            QTest::mouseClick(d->findChild<QRadioButton *>("optLabels"), Qt::LeftButton);
            // The preview comes next, while this dialog's OK is handled.
            static std::unique_ptr<OnModal<QPrintPreviewDialog>> preview;
            preview = std::make_unique<OnModal<QPrintPreviewDialog>>([&](QPrintPreviewDialog *p) {
                pages = p->findChild<QPrintPreviewWidget *>()->pageCount();
                p->reject();
            });
            QTest::mouseClick(d->findChild<QPushButton *>("cmdOK"), Qt::LeftButton);
        });
        chooseMenu("mnuFileTop", "&Print...");
        QTRY_VERIFY(print.ran());
        QTRY_COMPARE(pages, 1);
        // Right to left, the document reads from the right.
        std::unique_ptr<QTextDocument> doc(Printout::Compose(*SharedDb(), {}, Printout::Layout::Labels, true, "x"));
        QVERIFY(doc->toPlainText().contains("Springfield"));
        QCOMPARE(doc->begin().textDirection(), Qt::RightToLeft);
    }

    // The command line works on the same book while the window is open; the
    // window shows its work within two seconds.
    void commandLine()
    {
        // The program finds its book beside itself when a "portable" file is there.
        const QString bin = m_folder->file("ardentia");
        QVERIFY(QFile::copy(ARDENTIA_BINARY, bin));
        QVERIFY(WriteFile(m_folder->file("portable"), QByteArray()));
        auto run = [&](const QStringList &args, QString *out = nullptr, QString *err = nullptr) {
            QProcess p;
            p.setProcessEnvironment([] {
                auto env = QProcessEnvironment::systemEnvironment();
                env.remove("DISPLAY");
                env.remove("WAYLAND_DISPLAY");
                env.insert("ASAN_OPTIONS", "detect_leaks=0");
                return env;
            }());
            p.start(bin, args);
            p.waitForFinished(60000);
            if (out)
                *out = QString::fromUtf8(p.readAllStandardOutput());
            if (err)
                *err = QString::fromUtf8(p.readAllStandardError());
            return p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
        };
        QString out, err;
        QCOMPARE(run({"--help"}, &out), 0);
        QVERIFY(out.contains("--import") && out.contains("--export") && out.contains("--format"));
        QCOMPARE(run({"--import", cardFile(kTwoAndBroken)}, &out, &err), 0);
        QVERIFY2(out.contains("2 added, 0 updated, 1 skipped") && err.contains("in.vcf:10: skipped:"), qPrintable(out + err));
        QTRY_COMPARE_WITH_TIMEOUT(m_main->findChild<cGrid *>("cGrid1")->Rows(), 3, 3000);

        const QString exported = m_folder->file("clients.vcf");
        QCOMPARE(run({"--export", exported, "--format", "vcard21", "--category", "Clients"}, &out), 0);
        QFile f(exported);
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QByteArray cards = f.readAll();
        QVERIFY2(cards.count("BEGIN:VCARD") == 1 && cards.contains("VERSION:2.1") && cards.contains("N:Ito;Kei"), cards.constData());
        // CSV both ways: a known layout is mapped without asking; an unknown one is refused.
        QCOMPARE(run({"--export", m_folder->file("all.csv")}, &out, &err), 0);
        QCOMPARE(run({"--import", m_folder->file("all.csv")}, &out, &err), 0);
        QVERIFY2(out.contains("3 added"), qPrintable(out + err));
        QVERIFY(WriteFile(m_folder->file("odd.csv"), "Who,Colour\nKim,red\n"));
        QCOMPARE(run({"--import", m_folder->file("odd.csv")}, &out, &err), 1);
        QVERIFY2(err.contains("Who, Colour"), qPrintable(err));
        QCOMPARE(CountContacts(), 6);
        // A PDF of one category, without a screen.
        QCOMPARE(run({"--export", m_folder->file("clients.pdf"), "--category", "Clients"}, &out, &err), 0);
        QVERIFY2(pdfText(m_folder->file("clients.pdf")).contains("Kei Ito") &&
                     !pdfText(m_folder->file("clients.pdf")).contains("Adams"), qPrintable(err));
        // Failures: one line, a status that is not 0, nothing written.
        QVERIFY(WriteFile(m_folder->file("not.vcf"), "name,phone\n"));
        QCOMPARE(run({"--import", m_folder->file("not.vcf")}, &out, &err), 1);
        QVERIFY(err.startsWith("ardentia: ") && err.contains("not a vCard file") && err.count('\n') == 1);
        QCOMPARE(run({"--export", exported, "--format", "vcard5"}, &out, &err), 1);
        QCOMPARE(run({"--export", m_folder->file("no/such/folder/x.vcf")}, &out, &err), 1);
        QCOMPARE(CountContacts(), 6);
        // A mail program's query, accents ignored; the CSV round trip above doubled three contacts.
        Connection::open(AppFilePath("/db/db.sqlite"))
            ->exec(QString::fromUtf8("INSERT INTO Contacts (First_Name, Last_Name, Category, Mails) VALUES"
                                     " ('Álvaro', 'Núñez', 'Friends', 'alvaro@x.org:*:home\r\nan@y.org:*:\r\n'),"
                                     " ('Alvar', 'Aalto', '', '')"));
        QCOMPARE(run({"--query", "NUNEZ"}, &out, &err), 0);
        QCOMPARE(out.section('\n', 1), QString::fromUtf8("alvaro@x.org\tÁlvaro Núñez\tFriends\nan@y.org\tÁlvaro Núñez\tFriends\n"));
        QCOMPARE(run({"--query", "alvaro nu"}, &out, &err), 0);
        QCOMPARE(run({"--query", "Aalto"}, &out, &err), 1); // no address to give
        QCOMPARE(run({"--duplicates"}, &out, &err), 0);
        QCOMPARE(out, QStringLiteral("same name only\t1 4\nsame name and phone number\t2 5\nsame name only\t3 6\n"));
    }
};

QTEST_MAIN(tst_Transfer)
#include "tst_transfer.moc"
