#pragma once

#include <QHash>
#include <QObject>
#include <QString>
#include <QStringList>

#include <atomic>
#include <memory>

class QWidget;

// Gathers a large book's tree letters and categories beside the window: two
// walks through the table, each on a thread and connection of its own, that
// start once `paintedFirst` has painted (the window shows first) or after a
// moment when it does not. Deleting the loader stops the walks and waits for
// the threads.
class TreeLoader : public QObject
{
    Q_OBJECT
public:
    TreeLoader(QWidget *paintedFirst, const QString &path, const QString &letterColumn, QObject *parent);
    ~TreeLoader() override;

signals:
    // Each letter and category with the number of contacts that have it.
    void ready(const QHash<QString, int> &letters, const QHash<QString, int> &categories);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    struct Work;
    void start();

    QWidget *m_paintedFirst;
    std::shared_ptr<Work> m_work;
    bool m_started = false;
};
