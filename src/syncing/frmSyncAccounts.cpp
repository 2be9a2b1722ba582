#include "syncing/frmSyncAccounts.h"

#include "controls/BackgroundWork.h"
#include "controls/MsgBox.h"
#include "store/Connection.h"
#include "store/StoreError.h"
#include "sync/Accounts.h"
#include "sync/Sync.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

frmSyncAccounts::frmSyncAccounts(QWidget *parent, Connection &cn, QHash<QString, QString> &passwords)
    : QDialog(parent), m_cn(cn), m_passwords(passwords)
{
    setObjectName(QStringLiteral("frmSyncAccounts"));
    setWindowTitle(QStringLiteral("Sync accounts"));
    resize(560, 460);
    auto *layout = new QVBoxLayout(this);
    auto *lblAccounts = new QLabel(QStringLiteral("&Address books this contact book syncs with:"), this);
    lstAccounts = new QListWidget(this);
    lstAccounts->setObjectName(QStringLiteral("lstAccounts"));
    lblAccounts->setBuddy(lstAccounts);
    layout->addWidget(lblAccounts);
    layout->addWidget(lstAccounts, 1);
    cmdRemove = new QPushButton(QStringLiteral("&Remove account"), this);
    cmdRemove->setObjectName(QStringLiteral("cmdRemoveAccount"));
    auto *removeRow = new QHBoxLayout;
    removeRow->addStretch(1);
    removeRow->addWidget(cmdRemove);
    layout->addLayout(removeRow);

    auto *add = new QGroupBox(QStringLiteral("Add an account"), this);
    auto *form = new QFormLayout(add);
    txtServer = new QLineEdit(add);
    txtServer->setObjectName(QStringLiteral("txtServer"));
    txtServer->setPlaceholderText(QStringLiteral("https://dav.example.org"));
    txtUser = new QLineEdit(add);
    txtUser->setObjectName(QStringLiteral("txtUser"));
    txtPassword = new QLineEdit(add);
    txtPassword->setObjectName(QStringLiteral("txtPassword"));
    txtPassword->setEchoMode(QLineEdit::Password);
    txtBook = new QLineEdit(add);
    txtBook->setObjectName(QStringLiteral("txtBook"));
    txtBook->setPlaceholderText(QStringLiteral("the first one (made when there is none)"));
    form->addRow(QStringLiteral("&Server:"), txtServer);
    form->addRow(QStringLiteral("&User name:"), txtUser);
    form->addRow(QStringLiteral("&Password:"), txtPassword);
    form->addRow(QStringLiteral("Address &book:"), txtBook);
    cmdAdd = new QPushButton(QStringLiteral("&Add and sync"), add);
    cmdAdd->setObjectName(QStringLiteral("cmdAddAccount"));
    form->addRow(QString(), cmdAdd);
    layout->addWidget(add);

    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    buttons->button(QDialogButtonBox::Close)->setObjectName(QStringLiteral("cmdClose"));
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);

    connect(cmdAdd, &QPushButton::clicked, this, &frmSyncAccounts::addAccount);
    connect(cmdRemove, &QPushButton::clicked, this, &frmSyncAccounts::removeAccount);
    connect(lstAccounts, &QListWidget::currentRowChanged, this, [this](int row) { cmdRemove->setEnabled(row >= 0); });
    fill();
}

void frmSyncAccounts::fill()
{
    lstAccounts->clear();
    try {
        for (const Sync::Account &a : Sync::Accounts::List(m_cn)) {
            QString text = QStringLiteral("%1 at %2, address book \"%3\"").arg(a.user, a.server, a.bookName);
            if (!a.lastSync.isEmpty())
                text += QStringLiteral("\nLast sync %1: %2").arg(a.lastSync, a.lastResult);
            auto *item = new QListWidgetItem(text, lstAccounts);
            item->setData(Qt::UserRole, a.id);
        }
    } catch (const StoreError &e) {
        MsgBox::Fail(this, QStringLiteral("The accounts could not be read.\n\n") + e.message());
    }
    cmdRemove->setEnabled(lstAccounts->currentRow() >= 0);
}

void frmSyncAccounts::addAccount()
{
    const QString server = txtServer->text().trimmed(), user = txtUser->text().trimmed();
    const QString password = txtPassword->text(), book = txtBook->text().trimmed();
    if (server.isEmpty() || user.isEmpty()) {
        MsgBox::Fail(this, QStringLiteral("Give the server's address and your user name."));
        return;
    }
    QString trusted;
    const QString path = m_cn.path();
    for (;;) {
        Sync::SetupResult result;
        {
            Progress progress(this, QStringLiteral("Looking for your address books at %1...").arg(server));
            BackgroundWork work([&](const std::atomic<bool> &, std::atomic<qint64> &, std::atomic<qint64> &) {
                try {
                    SharedConnection own = Connection::open(path);
                    result = Sync::Setup(*own, server, user, password, book, trusted);
                } catch (const StoreError &e) {
                    result.failure = e.message();
                }
            });
            work.wait(progress);
        }
        if (result.certificate && trusted.isEmpty()) {
            const Dav::Certificate &c = *result.certificate;
            const QString question =
                QStringLiteral("The server's certificate could not be verified (%1).\n\nIssued to: %2\nIssued by: %3\n"
                               "SHA-256 fingerprint:\n%4\n\nTrust this certificate for this server?")
                    .arg(c.errors.join(QStringLiteral("; ")), c.subject, c.issuer, c.fingerprint);
            if (!MsgBox::AskYesNo(this, question))
                return;
            trusted = c.fingerprint;
            continue;
        }
        if (!result.failure.isEmpty() || result.account == 0) {
            MsgBox::Fail(this, QStringLiteral("The account could not be set up: %1").arg(result.failure));
            return;
        }
        std::optional<Sync::Account> account = Sync::Accounts::Get(m_cn, result.account);
        if (account) {
            QString problem;
            // Where no keyring answers, the password is kept for this run only.
            if (!Sync::Password::Store(account->key(), password, &problem))
                m_passwords.insert(account->key(), password);
        }
        txtPassword->clear();
        fill();
        emit accountAdded(result.account);
        return;
    }
}

void frmSyncAccounts::removeAccount()
{
    QListWidgetItem *item = lstAccounts->currentItem();
    if (!item)
        return;
    const qint64 id = item->data(Qt::UserRole).toLongLong();
    if (!MsgBox::AskYesNo(this, QStringLiteral("Stop syncing with this address book?\n\nThe contacts stay in this "
                                               "book and on the server.")))
        return;
    try {
        if (const std::optional<Sync::Account> a = Sync::Accounts::Get(m_cn, id)) {
            Sync::Password::Forget(a->key());
            m_passwords.remove(a->key());
        }
        Sync::Accounts::Remove(m_cn, id);
    } catch (const StoreError &e) {
        MsgBox::Fail(this, QStringLiteral("The account could not be removed.\n\n") + e.message());
    }
    fill();
}
