#include "app/AppContext.h"
#include "app/MsgBox.h"
#include "common/TestSupport.h"
#include "controls/Units.h"
#include "editor/EditorTestSupport.h"
#include "editor/frmCntContact.h"
#include "settings/mdlCommDialog.h"

#include <QFile>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QtTest>

class tst_contactpicture : public QObject
{
    Q_OBJECT

private:
    static QString image(const TempAppFolder &f, const QString &name)
    {
        QImage img(60, 40, QImage::Format_RGB32);
        img.fill(Qt::red);
        const QString path = f.file(name);
        if (!img.save(path))
            qWarning("cannot write %s", qPrintable(path));
        return path;
    }
    static QString notAnImage(const TempAppFolder &f)
    {
        const QString path = f.file(QStringLiteral("broken.jpg"));
        QFile file(path);
        if (file.open(QIODevice::WriteOnly))
            file.write("this is no picture");
        return path;
    }
    static QLabel *label(const frmCntContact &d, const char *name)
    {
        return d.findChild<QLabel *>(QLatin1String(name));
    }
    static QString pictureColumn()
    {
        auto cn = Connection::open(AppFilePath(QStringLiteral("/db/db.sqlite")));
        Recordset rs(*cn);
        rs.open(QStringLiteral("SELECT Picture FROM Contacts ORDER BY ContactID DESC"));
        return rs.atEnd() ? QStringLiteral("<no row>") : rs.text(0);
    }

private slots:
    void init()
    {
        CommDialogForTests::Reset();
        CommDialogForTests::ForgetRememberedPath();
    }
    void cleanup() { frmCntContact::SetSortByFirstNameOverride(std::nullopt); }

    // "Add", the picture and the placeholder all choose a file.
    void choose_data()
    {
        QTest::addColumn<QString>("clicked");
        QTest::newRow("Add link") << "lblAdd";
        QTest::newRow("picture") << "Image1";
        QTest::newRow("placeholder") << "lblClickToAddPic";
    }

    void choose()
    {
        QFETCH(QString, clicked);
        TempAppFolder f;
        frmCntContact d;
        const QString png = image(f, QStringLiteral("face.png"));
        CommDialogForTests::SetNextOpenResult({png});
        QTest::mouseClick(d.findChild<QWidget *>(clicked), Qt::LeftButton);
        QCOMPARE(d.PicturePath(), png);
        QVERIFY(d.PictureShown());
        QVERIFY(!label(d, "lblClickToAddPic")->isVisibleTo(&d));
        QCOMPARE(CommDialogForTests::LastOpenRequest().Filter, frmCntContact::PictureFilter());
    }

    void chooseOutcomes_data()
    {
        QTest::addColumn<QString>("answer"); // "cancel", "several", "broken"
        QTest::newRow("cancel keeps the picture") << "cancel";
        QTest::newRow("several files: the first") << "several";
        QTest::newRow("not a picture: refused, the old one kept") << "broken";
    }

    void chooseOutcomes()
    {
        QFETCH(QString, answer);
        TempAppFolder f;
        frmCntContact d;
        const QString first = image(f, QStringLiteral("first.bmp"));
        CommDialogForTests::SetNextOpenResult({first});
        d.ChoosePicture();
        QVERIFY(d.PictureShown());

        const QString second = image(f, QStringLiteral("second.jpg"));
        const QString broken = notAnImage(f);
        if (answer == QLatin1String("cancel"))
            CommDialogForTests::SetNextOpenResult({});
        else if (answer == QLatin1String("several"))
            CommDialogForTests::SetNextOpenResult({second, first});
        else
            CommDialogForTests::SetNextOpenResult({broken});
        if (answer == QLatin1String("broken"))
            MsgBox::QueueAnswers({QMessageBox::Ok});
        QTest::mouseClick(d.findChild<QWidget *>("lblAdd"), Qt::LeftButton);

        QCOMPARE(d.PicturePath(), answer == QLatin1String("several") ? second : first);
        QVERIFY(d.PictureShown());
        QVERIFY(!label(d, "lblClickToAddPic")->isVisibleTo(&d));
        QCOMPARE(MsgBox::AskedTexts().size(), answer == QLatin1String("broken") ? 1 : 0);
        MsgBox::ResetForTests();
    }

    void remove_data()
    {
        QTest::addColumn<bool>("withPicture");
        QTest::addColumn<bool>("yes");
        QTest::newRow("no picture: nothing asked") << false << true;
        QTest::newRow("answer no") << true << false;
        QTest::newRow("answer yes") << true << true;
    }

    void remove()
    {
        QFETCH(bool, withPicture);
        QFETCH(bool, yes);
        TempAppFolder f;
        frmCntContact d;
        const QString png = image(f, QStringLiteral("face.png"));
        if (withPicture) {
            CommDialogForTests::SetNextOpenResult({png});
            d.ChoosePicture();
        }
        MsgBox::QueueAnswers({yes ? QMessageBox::Yes : QMessageBox::No});
        // The link is a button: the keyboard reaches it.
        QWidget *link = d.findChild<QWidget *>("lblRemove");
        QCOMPARE(link->focusPolicy(), Qt::StrongFocus);
        link->setFocus();
        QTest::keyClick(link, Qt::Key_Space);
        QCOMPARE(MsgBox::AskedTexts(),
                 withPicture ? QStringList{QStringLiteral("Remove this contact picture ?")} : QStringList());
        const bool removed = withPicture && yes;
        QCOMPARE(d.PicturePath(), withPicture && !removed ? png : QString());
        QCOMPARE(d.PictureShown(), withPicture && !removed);
        QCOMPARE(label(d, "lblClickToAddPic")->isVisibleTo(&d), !withPicture || removed);
        MsgBox::ResetForTests();
    }

    // A stored path is kept whether its file is there, gone or unreadable;
    // Remove then OK clears it in the store.
    void storedPicture_data()
    {
        QTest::addColumn<QString>("kind"); // "present", "missing", "broken"
        QTest::addColumn<bool>("removeFirst");
        QTest::newRow("present") << "present" << false;
        QTest::newRow("file gone: written back") << "missing" << false;
        QTest::newRow("unreadable: written back") << "broken" << false;
        QTest::newRow("removed") << "present" << true;
    }

    void storedPicture()
    {
        QFETCH(QString, kind);
        QFETCH(bool, removeFirst);
        TempAppFolder f;
        const QString path = kind == QLatin1String("present") ? image(f, QStringLiteral("ann.bmp"))
                             : kind == QLatin1String("broken") ? notAnImage(f)
                                                                : f.file(QStringLiteral("gone.jpg"));
        SeedContacts({{{"Last_Name", "Lee"}, {"Picture", path}}});
        OpenDb db;
        frmCntContact d;
        d.g_bEdit = true;
        d.g_lContactID = 1;
        QVERIFY(d.OpenContact());
        QCOMPARE(d.PicturePath(), path);
        const bool shown = kind == QLatin1String("present");
        QCOMPARE(d.PictureShown(), shown);
        QCOMPARE(label(d, "lblClickToAddPic")->isVisibleTo(&d), !shown);
        if (removeFirst) {
            MsgBox::QueueAnswers({QMessageBox::Yes});
            d.RemovePicture();
        }
        frmCntContact::SetSortByFirstNameOverride(false);
        QVERIFY(d.cmdOK_Click());
        QCOMPARE(pictureColumn(), removeFirst ? QString() : path);
    }

    void newContactKeepsPicture()
    {
        TempAppFolder f;
        OpenDb db;
        frmCntContact::SetSortByFirstNameOverride(false);
        frmCntContact d;
        d.findChild<QLineEdit *>(QStringLiteral("txtLastName"))->setText(QStringLiteral("Lee"));
        const QString jpg = image(f, QStringLiteral("new.jpg"));
        CommDialogForTests::SetNextOpenResult({jpg});
        d.ChoosePicture();
        QVERIFY(d.cmdOK_Click());
        QCOMPARE(pictureColumn(), jpg);
    }
};

QTEST_MAIN(tst_contactpicture)
#include "tst_contactpicture.moc"
