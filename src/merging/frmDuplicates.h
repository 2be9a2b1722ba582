#pragma once

#include "duplicates/Finder.h"
#include "duplicates/Merge.h"

#include <QDialog>
#include <QList>

class Connection;
class QLabel;
class QPushButton;
class QTextBrowser;
class QTreeWidget;
class QTreeWidgetItem;

// The groups of contacts that are probably one person, each with its reason:
// the user ticks the groups to merge (those found on a name alone start
// unticked), picks in each the contact to keep, sees the merged contact
// before anything is written, and merges the ticked groups.
class frmDuplicates : public QDialog
{
    Q_OBJECT
public:
    frmDuplicates(QWidget *parent, Connection &cn, const QList<Duplicates::Group> &groups, const QString &region);

    // The ticked groups, each with the contact chosen to keep.
    QList<Duplicates::MergeGroup> chosen() const;

private:
    void showPreview(QTreeWidgetItem *item);
    void itemChanged(QTreeWidgetItem *item, int column);
    void updateButton();
    QTreeWidgetItem *groupOf(QTreeWidgetItem *item) const;

    Connection &m_cn;
    QString m_region;
    QLabel *lblFound = nullptr;
    QTreeWidget *tvwGroups = nullptr;
    QTextBrowser *txtPreview = nullptr;
    QPushButton *cmdMerge = nullptr;
    bool m_updating = false;
};
