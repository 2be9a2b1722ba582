#include "controls/cTreeView.h"
#include "mainwindow/StartupOptions.h"
#include "mainwindow/frmMain.h"
#include "store/Statements.h"
#include "store/mdlMDB.h"

#include <QEvent>
#include <QFileInfo>
#include <QLabel>
#include <QTimer>


#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstring>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <unordered_set>
#include <vector>

namespace {
const QString kSep = QStringLiteral(":*:");

// The first character of a UTF-8 value: one code point, never half of one.
QByteArrayView firstCharacter(QByteArrayView v)
{
    if (v.isEmpty())
        return v;
    const auto lead = static_cast<unsigned char>(v.at(0));
    qsizetype len = 1;
    if (lead >= 0xF0)
        len = 4;
    else if (lead >= 0xE0)
        len = 3;
    else if (lead >= 0xC0)
        len = 2;
    return v.first(qMin(len, v.size()));
}

// FNV-1a: short texts hash in a few cycles.
struct CategoryHash
{
    size_t operator()(std::string_view v) const noexcept
    {
        uint64_t h = 1469598103934665603ULL;
        for (const char c : v)
            h = (h ^ static_cast<unsigned char>(c)) * 1099511628211ULL;
        return size_t(h);
    }
};

// Letters of a column and distinct values of another, gathered without a text
// made per row. Each statement's errors are suppressed: what it gave so far stays.
class TreeValues
{
public:
    // Either column may be empty: that side is left out. A set `cancel` ends
    // the walk at the next row.
    void collect(Connection &cn, const QString &letterColumn, const QString &categoryColumn,
                 const std::atomic<bool> *cancel = nullptr)
    {
        Recordset letters(cn);
        Recordset categories(cn);
        bool lettersLive = !letterColumn.isEmpty() && open(letters, Statements::ColumnValues(letterColumn));
        bool categoriesLive =
            !categoryColumn.isEmpty() && open(categories, Statements::ColumnValues(categoryColumn));
        while ((lettersLive || categoriesLive) && !(cancel && cancel->load(std::memory_order_relaxed))) {
            if (lettersLive)
                lettersLive = step(letters, [this](QByteArrayView v) { addLetter(firstCharacter(v)); });
            if (categoriesLive)
                categoriesLive = step(categories, [this](QByteArrayView v) { addCategory(v); });
        }
    }

    void addLetters(cTreeView *tree, QTreeWidgetItem *node, int image) const
    {
        for (const QByteArray &letter : m_letters) {
            const QString text = QString::fromUtf8(letter);
            tree->AddNode(node, QStringLiteral("ABC") + kSep + text, text, image, image);
        }
        // One sort after the last insertion orders the children exactly as a
        // sort after each one would.
        tree->SortChildren(node);
    }

    void addCategories(cTreeView *tree, QTreeWidgetItem *node, int image) const
    {
        for (const std::string &value : m_categories) {
            const QString text = QString::fromUtf8(value.data(), qsizetype(value.size()));
            tree->AddNode(node, QStringLiteral("CAT") + kSep + text, text, image, image);
        }
        tree->SortChildren(node);
    }

private:
    static bool open(Recordset &rs, const QString &statement)
    {
        try {
            rs.open(statement);
            return true;
        } catch (const StoreError &) {
            return false;
        }
    }

    // Takes the current row's value (null values are skipped) and moves on;
    // false once the statement has ended or failed.
    template <typename Take>
    static bool step(Recordset &rs, Take take)
    {
        try {
            if (rs.atEnd())
                return false;
            const QByteArrayView v = rs.utf8(0);
            if (v.data()) // null values are skipped
                take(v);
            rs.moveNext();
            return true;
        } catch (const StoreError &) {
            return false;
        }
    }

    void addLetter(QByteArrayView letter)
    {
        if (letter.isEmpty())
            return;
        if (letter.size() == 1) {
            const auto byte = static_cast<unsigned char>(letter.at(0));
            if (m_seenByte[byte])
                return;
            m_seenByte[byte] = true;
        } else {
            quint32 code = 0;
            std::memcpy(&code, letter.data(), size_t(letter.size()));
            if (std::find(m_seenWide.begin(), m_seenWide.end(), code) != m_seenWide.end())
                return;
            m_seenWide.push_back(code);
        }
        m_letters.push_back(letter.toByteArray());
    }

    void addCategory(QByteArrayView value)
    {
        if (value.isEmpty())
            return;
        const std::string_view v(value.data(), size_t(value.size()));
        // Books hold few categories, mostly repeated: the last one seen is
        // checked first, then the set.
        if (v == m_lastCategory)
            return;
        const auto seen = m_seenCategories.find(v);
        if (seen != m_seenCategories.end()) {
            m_lastCategory = *seen;
            return;
        }
        m_categories.emplace_back(v);
        m_seenCategories.insert(m_categories.back());
        m_lastCategory = m_categories.back();
    }

    bool m_seenByte[256] = {};
    std::vector<quint32> m_seenWide;
    std::vector<QByteArray> m_letters;
    std::deque<std::string> m_categories; // stable addresses for the views below
    std::unordered_set<std::string_view, CategoryHash> m_seenCategories;
    std::string_view m_lastCategory;
};

// A book this large (bytes of its file) has its letters and categories
// gathered beside the window rather than before it shows: the walks through
// the table run on threads and connections of their own while the window
// paints and its list fills, and the nodes are added on the window's thread
// when the values are in. A smaller book is read at once, in a few milliseconds.
constexpr qint64 kBackgroundTreeBytes = 4 << 20;
const QString kLoaderName = QStringLiteral("treeValuesLoader");

class TreeLoader : public QObject
{
public:
    // Letters and categories are gathered side by side, each on a thread and
    // connection of its own.
    // They start once the tree has been painted (the window shows first), or
    // after a moment when it is not.
    TreeLoader(cTreeView *tree, const QString &path, const QString &letterColumn)
        : QObject(tree), m_tree(tree), m_path(path), m_letterColumn(letterColumn)
    {
        setObjectName(kLoaderName);
        tree->viewport()->installEventFilter(this);
        QTimer::singleShot(kStartAtLatestMs, this, [this] { start(); });
    }

    ~TreeLoader() override
    {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_cancelled = true;
            // The flag stops a walk between rows; the interruption stops a
            // statement in the middle of a step.
            m_stop = true;
            for (Worker &w : m_workers) {
                if (w.cn)
                    w.cn->interrupt();
            }
        }
        for (Worker &w : m_workers) {
            if (w.thread.joinable())
                w.thread.join();
        }
    }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Paint)
            start();
        return QObject::eventFilter(watched, event);
    }

private:
    static constexpr int kStartAtLatestMs = 100;

    void start()
    {
        if (m_started)
            return;
        m_started = true;
        m_tree->viewport()->removeEventFilter(this);
        m_workers[0].thread = std::thread([this] { run(0, m_path, m_letterColumn, QString()); });
        m_workers[1].thread = std::thread([this] { run(1, m_path, QString(), QStringLiteral("Category")); });
    }

    struct Worker
    {
        std::thread thread;
        Connection *cn = nullptr;
        TreeValues values;
    };

    void run(int index, const QString &path, const QString &letterColumn, const QString &categoryColumn)
    {
        Worker &w = m_workers[index];
        try {
            std::unique_ptr<Connection> cn = Connection::openForReading(path);
            {
                std::lock_guard<std::mutex> lock(m_mutex);
                if (m_cancelled)
                    return;
                w.cn = cn.get();
            }
            w.values.collect(*cn, letterColumn, categoryColumn, &m_stop);
            std::lock_guard<std::mutex> lock(m_mutex);
            w.cn = nullptr;
        } catch (const StoreError &) {
            // Suppressed, as when the values are read at once.
        }
        std::lock_guard<std::mutex> lock(m_mutex);
        if (!m_cancelled && ++m_done == 2)
            QMetaObject::invokeMethod(this, [this] { apply(); }, Qt::QueuedConnection);
    }

    void apply()
    {
        m_workers[0].values.addLetters(m_tree, m_tree->NodeByKey(QStringLiteral("ABC:*:MAIN")), 3);
        m_workers[1].values.addCategories(m_tree, m_tree->NodeByKey(QStringLiteral("CAT:*:MAIN")), 3);
        deleteLater();
    }

    cTreeView *m_tree;
    const QString m_path;
    const QString m_letterColumn;
    bool m_started = false;
    Worker m_workers[2];
    std::mutex m_mutex;
    int m_done = 0;
    bool m_cancelled = false;
    std::atomic<bool> m_stop{false};
};
} // namespace

void frmMain::setTree()
{
    // A gathering still under way belongs to the tree being replaced.
    delete cTreeView1->findChild<QObject *>(kLoaderName, Qt::FindDirectChildrenOnly);
    cTreeView1->ClearNodes();
    m_nodeRoot = cTreeView1->AddNode(nullptr, QStringLiteral("CONTACTS:*:MAIN"), QStringLiteral("Contacts"), 0, -1);
    m_nodeAll = cTreeView1->AddNode(m_nodeRoot, QStringLiteral("ALL:*:MAIN"), QStringLiteral("All"), 0, 0);
    m_nodeABC = cTreeView1->AddNode(m_nodeRoot, QStringLiteral("ABC:*:MAIN"), QStringLiteral("ABC"), 1, 1);
    m_nodeCategories =
        cTreeView1->AddNode(m_nodeRoot, QStringLiteral("CAT:*:MAIN"), QStringLiteral("Categories"), 2, 2);
    m_nodeRecycle = cTreeView1->AddNode(m_nodeRoot, QStringLiteral("RECYCLE:*:MAIN"), QStringLiteral("Recycle"), 4, 4);
    // A small book's letters and categories are read at once; a large book's
    // come in beside the window (TreeLoader).
    if (SharedDb()) {
        const QString letterColumn = SortByFirstName() ? QStringLiteral("First_Name") : QStringLiteral("Last_Name");
        if (QFileInfo(SharedDb()->path()).size() >= kBackgroundTreeBytes) {
            new TreeLoader(cTreeView1, SharedDb()->path(), letterColumn);
        } else {
            AddABCToTreeView(m_nodeABC, 3, letterColumn);
            AddCategoriesToTreeView(m_nodeCategories, 3, QStringLiteral("Category"));
        }
    }
    cTreeView1->Expand(m_nodeRoot);
}

void frmMain::AddABCToTreeView(QTreeWidgetItem *tvNode, int ImgAsIndex, const QString &sItem)
{
    if (!tvNode || !SharedDb())
        return;
    TreeValues values;
    values.collect(*SharedDb(), sItem, QString());
    values.addLetters(cTreeView1, tvNode, ImgAsIndex);
}

void frmMain::AddCategoriesToTreeView(QTreeWidgetItem *tvNode, int ImgAsIndex, const QString &sItem)
{
    if (!tvNode || !SharedDb())
        return;
    TreeValues values;
    values.collect(*SharedDb(), QString(), sItem);
    values.addCategories(cTreeView1, tvNode, ImgAsIndex);
}

void frmMain::cTreeView1_NodeClick(QTreeWidgetItem *node)
{
    if (!node)
        return;
    const QString key = cTreeView::NodeKey(node);
    const qsizetype at = key.indexOf(kSep);
    const QString kind = at < 0 ? key : key.left(at);
    const QString value = at < 0 ? QString() : key.mid(at + kSep.size());

    cTreeView1->SelectNode(node);
    lblTitle->setText(cTreeView::NodeText(node));
    if (m_searchBarShown) {
        PicSearch->hide();
        m_searchBarShown = false;
        Form_Resize();
    }

    if (kind == QLatin1String("ALL")) {
        FillList(Statements::AllContacts());
    } else if (kind == QLatin1String("ABC") && value != QLatin1String("MAIN")) {
        FillList(SortByFirstName() ? Statements::FirstNameLike(value) : Statements::LastNameLike(value));
    } else if (kind == QLatin1String("CAT") && value != QLatin1String("MAIN")) {
        FillList(Statements::ContactsInCategory(value));
    }
    // Any other node leaves the list as it is.
}
