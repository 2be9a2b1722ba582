#pragma once

#include <QDialog>
#include <QHash>

class Connection;
class QLineEdit;
class QListWidget;
class QPushButton;

// Tools > Sync accounts: the CardDAV address books the book syncs with. Add
// finds the user's address books at the server (the first, or the one named,
// made when missing), keeps the password in the desktop's keyring (or, where
// none answers, for this run only) and asks before trusting a certificate
// that does not verify. Remove forgets an account; the contacts stay.
class frmSyncAccounts : public QDialog
{
    Q_OBJECT
public:
    // `passwords`: the passwords kept for this run, by account key.
    frmSyncAccounts(QWidget *parent, Connection &cn, QHash<QString, QString> &passwords);

signals:
    // A new account was set up: sync it now.
    void accountAdded(qint64 account);

private:
    void fill();
    void addAccount();
    void removeAccount();

    Connection &m_cn;
    QHash<QString, QString> &m_passwords;
    QListWidget *lstAccounts = nullptr;
    QLineEdit *txtServer = nullptr, *txtUser = nullptr, *txtPassword = nullptr, *txtBook = nullptr;
    QPushButton *cmdAdd = nullptr, *cmdRemove = nullptr;
};
