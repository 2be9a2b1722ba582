// Sync with the CardDAV accounts from the window: Tools > Sync accounts and
// Sync now, at start, every few minutes (Options), a few seconds after a change
// made here. The work runs on a thread of its own; the status bar shows how far
// it has come and how it ended, a failure included (it is tried again later).
#include "context/AppContext.h"
#include "controls/MsgBox.h"
#include "controls/cMenu.h"
#include "controls/cStatusBar.h"
#include "duplicates/Phone.h"
#include "mainwindow/frmMain.h"
#include "settings/mdlOptions.h"
#include "store/Connection.h"
#include "store/StoreError.h"
#include "sync/Accounts.h"
#include "syncing/SyncRunner.h"
#include "syncing/frmConflict.h"
#include "syncing/frmSyncAccounts.h"
#include "store/mdlMDB.h"

#include <QInputDialog>
#include <QTimer>

namespace {

// A change made here is sent this long after it, so that a burst of them goes together.
constexpr int kAfterChangeMs = 5000;
// The first sync waits for the window to be up.
constexpr int kAfterStartMs = 3000;

} // namespace

void frmMain::setUpSync()
{
    if (!SharedDb() || m_readOnly)
        return;
    m_syncRunner = new SyncRunner(SharedDb()->path(), AppFilePath(QStringLiteral("/pictures")),
                                  Phone::RegionOr(PhoneRegion()), this);
    m_syncRunner->ask = [this](const Sync::Conflict &conflict) {
        frmConflict dlg(this, conflict);
        dlg.exec();
        return dlg.resolution();
    };
    connect(m_syncRunner, &SyncRunner::progress, this, [this](const QString &text) { cStatusBar1->showMessage(text); });
    connect(m_syncRunner, &SyncRunner::accountDone, this, &frmMain::syncAccountDone);
    connect(m_syncRunner, &SyncRunner::finished, this, [this] {
        m_lastSync.start();
        updateCommands();
        if (m_syncAgain) {
            m_syncAgain = false;
            syncNow(false);
        }
    });
    m_syncSoon = new QTimer(this);
    m_syncSoon->setSingleShot(true);
    connect(m_syncSoon, &QTimer::timeout, this, [this] { syncNow(false); });
    // Every minute: is the next sync the options ask for due?
    m_syncTick = new QTimer(this);
    m_syncTick->setInterval(60 * 1000);
    connect(m_syncTick, &QTimer::timeout, this, [this] {
        const int minutes = Options().OptSyncMinutes;
        if (minutes > 0 && (!m_lastSync.isValid() || m_lastSync.elapsed() >= qint64(minutes) * 60 * 1000))
            syncNow(false);
    });
    m_syncTick->start();
    if (hasSyncAccounts())
        m_syncSoon->start(kAfterStartMs);
}

bool frmMain::hasSyncAccounts() const
{
    try {
        return SharedDb() && !Sync::Accounts::List(*SharedDb()).isEmpty();
    } catch (const StoreError &) {
        return false;
    }
}

void frmMain::syncAfterChange()
{
    if (m_syncSoon && hasSyncAccounts())
        m_syncSoon->start(kAfterChangeMs);
}

// Syncs every account. `asked`: the user chose it, so a missing password is
// asked for (once a run) and a certificate that does not verify is shown.
void frmMain::syncNow(bool asked, qint64 onlyAccount)
{
    if (!m_syncRunner || !SharedDb())
        return;
    if (m_syncRunner->running()) {
        m_syncAgain = true; // what changed meanwhile goes next
        return;
    }
    QList<Sync::Account> accounts;
    try {
        accounts = Sync::Accounts::List(*SharedDb());
    } catch (const StoreError &e) {
        cStatusBar1->showMessage(QStringLiteral("Sync: the accounts could not be read: ") + e.message());
        return;
    }
    QList<SyncRunner::Job> jobs;
    for (const Sync::Account &a : accounts) {
        if (onlyAccount && a.id != onlyAccount)
            continue;
        SyncRunner::Job job;
        job.account = a.id;
        job.name = QStringLiteral("%1 (%2)").arg(a.key(), a.bookName);
        if (m_syncPasswords.contains(a.key())) {
            job.password = m_syncPasswords.value(a.key());
        } else if (std::optional<QString> stored = Sync::Password::Read(a.key())) {
            job.password = *stored;
        } else if (asked) {
            // No keyring answers: asked once a run, never written down.
            bool ok = false;
            const QString given = QInputDialog::getText(this, QStringLiteral("Sync"),
                                                        QStringLiteral("Password for %1:").arg(a.key()),
                                                        QLineEdit::Password, QString(), &ok);
            if (!ok)
                continue;
            m_syncPasswords.insert(a.key(), given);
            job.password = given;
        } else {
            cStatusBar1->showMessage(
                QStringLiteral("Sync with %1 needs the password: choose Tools > Sync now.").arg(job.name));
            continue;
        }
        jobs << job;
    }
    if (jobs.isEmpty())
        return;
    Sync::Policy policy = Sync::Policy::KeepBoth;
    Sync::PolicyFromName(Options().OptSyncPolicy, policy);
    m_syncAsked = asked;
    cStatusBar1->showMessage(QStringLiteral("Syncing..."));
    m_syncRunner->start(jobs, policy);
    updateCommands();
}

void frmMain::syncAccountDone(const SyncRunner::Job &job, const Sync::Report &report)
{
    if (!report.ok) {
        if (report.certificate && m_syncAsked) {
            const Dav::Certificate &c = *report.certificate;
            if (MsgBox::AskYesNo(this, QStringLiteral("The certificate of the server of %1 could not be verified (%2)."
                                                      "\n\nIssued to: %3\nIssued by: %4\nSHA-256 fingerprint:\n%5\n\n"
                                                      "Trust this certificate for this server?")
                                           .arg(job.name, c.errors.join(QStringLiteral("; ")), c.subject, c.issuer,
                                                c.fingerprint))) {
                try {
                    Sync::Accounts::SetTrustedCertificate(*SharedDb(), job.account, c.fingerprint);
                    m_syncAgain = true;
                } catch (const StoreError &) {
                }
            }
        }
        // No box: the status bar says it, and the next sync tries again.
        cStatusBar1->showMessage(QStringLiteral("Sync with %1 failed: %2. It will be tried again later.")
                                     .arg(job.name, report.failure));
        return;
    }
    cStatusBar1->showMessage(QStringLiteral("Synced with %1: %2").arg(job.name, report.text()));
    for (const QString &r : report.rejected)
        qWarning("sync: %s", qPrintable(r));
    // The list and tree follow through the look for other writers' changes.
    if (report.likelyDuplicates > 0 && m_syncAsked &&
        MsgBox::AskYesNo(this, QStringLiteral("%1 contacts from the server look like contacts this book already had.\n\n"
                                              "Look for duplicates and merge them now?")
                                   .arg(report.likelyDuplicates))) {
        checkOutsideChanges();
        findDuplicates();
    }
}

void frmMain::openSyncAccounts()
{
    if (!SharedDb() || m_readOnly)
        return;
    frmSyncAccounts dlg(this, *SharedDb(), m_syncPasswords);
    connect(&dlg, &frmSyncAccounts::accountAdded, this, [this](qint64 account) {
        if (m_syncRunner && m_syncRunner->running()) {
            m_syncAgain = true;
            return;
        }
        syncNow(true, account);
    });
    dlg.exec();
}

void frmMain::stopSync()
{
    if (m_syncRunner) {
        m_syncRunner->stop();
        delete m_syncRunner;
        m_syncRunner = nullptr;
    }
}
