// Ardentia's performance benchmark. Makes deterministic contact books of
// 10 000, 100 000 and 1 000 000 contacts, runs the program's own code paths on
// them (the real main window offscreen, the real store and search) beside the
// raw engine, and prints one table of medians, ratios and targets.
#include "Generator.h"
#include "Probes.h"

#include "context/AppContext.h"
#include "duplicates/Finder.h"
#include "duplicates/Phone.h"
#include "store/ItemList.h"
#include "store/Folding.h"
#include "controls/MsgBox.h"
#include "app/mdlMain.h"
#include "controls/cGrid.h"
#include "controls/cToolbar.h"
#include "controls/cTreeView.h"
#include "mainwindow/frmMain.h"
#include "store/Statements.h"
#include "sqlite/Statement.h"
#include "store/BookSchema.h"
#include "store/Journal.h"
#include "store/mdlMDB.h"
#include "interchange/Export.h"
#include "interchange/Import.h"
#include "transfer/Printout.h"
#include "transfer/Transfer.h"
#include <QDialog>
#include <QProcess>
#include <QSet>
#include <QTemporaryDir>

#include <QApplication>
#include <QDropEvent>
#include <QMimeData>
#include <QUrl>
#include <QComboBox>
#include <QDir>
#include <QEventLoop>
#include <QFileInfo>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QToolButton>
#include <QStandardPaths>
#include <QWindow>

#include <sqlite3.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <set>
#include <unordered_map>
#include <vector>

extern char **environ;

namespace {

// --- small helpers ------------------------------------------------------------------------

double Median(std::vector<double> v)
{
    if (v.empty())
        return 0;
    std::sort(v.begin(), v.end());
    const size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

double Max(const std::vector<double> &v)
{
    return v.empty() ? 0 : *std::max_element(v.begin(), v.end());
}

qint64 RssBytes()
{
    FILE *f = std::fopen("/proc/self/statm", "r");
    long pages = 0, resident = 0;
    if (f) {
        if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2)
            resident = 0;
        std::fclose(f);
    }
    return qint64(resident) * sysconf(_SC_PAGESIZE);
}

void Settle()
{
    for (int i = 0; i < 3; ++i)
        QCoreApplication::processEvents(QEventLoop::AllEvents);
}

QString SizeText(int n)
{
    if (n >= 1000000 && n % 1000000 == 0)
        return QStringLiteral("%1M").arg(n / 1000000);
    if (n >= 1000 && n % 1000 == 0)
        return QStringLiteral("%1k").arg(n / 1000);
    return QString::number(n);
}

// --- the raw engine -----------------------------------------------------------------------

// The yardstick: a plain connection (the engine's own LIKE), the statement
// prepared with the C API, every row stepped and every column read as text.
class RawEngine
{
public:
    explicit RawEngine(const QString &path)
    {
        // The program's own connection mode: one thread, no locking per call.
        sqlite3_open_v2(QFile::encodeName(path).constData(), &m_db, SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX,
                        nullptr);
    }
    ~RawEngine() { sqlite3_close_v2(m_db); }

    struct Scan
    {
        double ms = 0;
        int rows = 0;
        quint64 sum = 0;
    };
    Scan scan(const QString &sql, std::vector<qint64> *ids = nullptr)
    {
        Scan s;
        const QByteArray text = sql.toUtf8();
        const qint64 t0 = MonoNs();
        sqlite3_stmt *st = nullptr;
        if (sqlite3_prepare_v2(m_db, text.constData(), int(text.size()), &st, nullptr) != SQLITE_OK)
            return s;
        const int columns = sqlite3_column_count(st);
        while (sqlite3_step(st) == SQLITE_ROW) {
            for (int c = 0; c < columns; ++c) {
                const unsigned char *p = sqlite3_column_text(st, c);
                const int n = sqlite3_column_bytes(st, c);
                s.sum += quint64(n) + (p && n ? p[0] : 0);
            }
            if (ids)
                ids->push_back(sqlite3_column_int64(st, 0));
            ++s.rows;
        }
        sqlite3_finalize(st);
        s.ms = MsSince(t0);
        return s;
    }
    sqlite3 *handle() const { return m_db; }

private:
    sqlite3 *m_db = nullptr;
};

// --- the program --------------------------------------------------------------------------

struct FillRun
{
    double ms = 0;        // from the start until the list is painted
    double firstRows = -1; // until the first rows were painted
    double gap = 0;       // the longest time the event loop was kept from running
    int rows = 0;
};

// The main window's parts, by their object names.
cGrid *GridOf(const frmMain *w)
{
    return w->findChild<cGrid *>(QStringLiteral("cGrid1"));
}
cTreeView *TreeOf(const frmMain *w)
{
    return w->findChild<cTreeView *>(QStringLiteral("cTreeView1"));
}
QTreeWidgetItem *Node(const frmMain *w, const char *key)
{
    return TreeOf(w)->NodeByKey(QLatin1String(key));
}
// Shows the search bar with its toolbar button.
void ShowSearchBar(frmMain *w)
{
    auto *bar = w->findChild<cToolbar *>(QStringLiteral("tlbrTop"));
    for (int i = 0; i < bar->ButtonCount(); ++i) {
        if (bar->Button(i) && bar->Button(i)->text().trimmed() == QLatin1String("Search"))
            bar->Button(i)->click();
    }
}
bool SearchBarShown(const frmMain *w)
{
    return w->findChild<QWidget *>(QStringLiteral("PicSearch"))->isVisible();
}


// Starts a fill with `start`, lets the event loop run until the fill is done,
// paints the list and tells how long each step took.
FillRun MeasureFill(frmMain *w, const std::function<void()> &start)
{
    cGrid *grid = GridOf(w);
    FillRun run;
    GapTimer gaps;
    qint64 t0 = 0;
    AfterEventProbe firstPaint(grid->viewport(), QEvent::Paint);
    firstPaint.arm([grid](QObject *) { return grid->model()->rowCount() > 0; },
                   [&] { run.firstRows = MsSince(t0); });
    t0 = MonoNs();
    gaps.start();
    start();
    if (w->IsFilling()) {
        QEventLoop loop;
        QObject::connect(w, &frmMain::listFilled, &loop, &QEventLoop::quit);
        loop.exec();
    }
    grid->viewport()->repaint();
    run.ms = MsSince(t0);
    run.gap = gaps.stopMs();
    if (qEnvironmentVariableIsSet("ARDENTIA_BENCH_GAPS"))
        std::fprintf(stderr, "gap %.1f ms over %.1f ms, %d rows\n", run.gap, run.ms, grid->Rows());
    if (run.firstRows < 0 && grid->Rows() > 0)
        run.firstRows = run.ms;
    run.rows = grid->Rows();
    firstPaint.disarm();
    Settle();
    return run;
}

bool WaitForList(frmMain *w, int rows, int timeoutMs = 600000)
{
    const qint64 t0 = MonoNs();
    while (w->IsFilling() || GridOf(w)->Rows() != rows) {
        if (MsSince(t0) > timeoutMs)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    }
    return true;
}

// The window's list against the engine's rows, cell by cell (not timed).
QString VerifyAll(frmMain *w, RawEngine &raw)
{
    GridModel *m = GridOf(w)->Model();
    sqlite3_stmt *st = nullptr;
    sqlite3_prepare_v2(raw.handle(), "SELECT ContactID, First_Name, Last_Name, Category, Phones, Mails FROM Contacts",
                       -1, &st, nullptr);
    int row = 0;
    QString problem;
    auto view = [st](int c) {
        const char *p = reinterpret_cast<const char *>(sqlite3_column_text(st, c));
        return p ? QByteArrayView(p, sqlite3_column_bytes(st, c)) : QByteArrayView();
    };
    auto first = [](QByteArrayView v) {
        const qsizetype at = v.indexOf(QByteArrayView(":*:"));
        return at < 0 ? QByteArrayView() : v.first(at);
    };
    while (problem.isEmpty() && sqlite3_step(st) == SQLITE_ROW) {
        const QByteArrayView expected[] = {view(0), view(1), view(2), view(3), first(view(4)), first(view(5)),
                                           view(4), view(5)};
        const int columns[] = {ColContactID, ColFirstName, ColLastName,
                               ColCategory,  ColFirstPhone, ColFirstMail,
                               ColPhones,    ColMails};
        for (int i = 0; i < 8; ++i) {
            if (m->cellUtf8(row, columns[i] - 1) != expected[i] || m->cellBackground(row, columns[i] - 1).isValid()) {
                problem = QStringLiteral("row %1 column %2 differs").arg(row + 1).arg(columns[i]);
                break;
            }
        }
        ++row;
    }
    sqlite3_finalize(st);
    if (problem.isEmpty() && row != m->storedRows())
        problem = QStringLiteral("%1 rows shown, %2 in the book").arg(m->storedRows()).arg(row);
    if (problem.isEmpty() && GridOf(w)->SelectedRow() != 1)
        problem = QStringLiteral("row 1 is not selected");
    return problem;
}

// The search result and its highlights against a comparison made here from
// the plain columns: a contact is found when one of its searched columns,
// folded, holds the folded term (not timed). Every row's contact is checked,
// the highlights of every `step`th row.
QString VerifySearch(frmMain *w, RawEngine &raw, const QString &term, int step)
{
    GridModel *m = GridOf(w)->Model();
    const QString needle = Fold(term);
    auto contains = [&](QByteArrayView v) { return !v.isEmpty() && Fold(QString::fromUtf8(v)).contains(needle); };
    std::vector<qint64> ids;
    {
        const QByteArray sql = (QStringLiteral("SELECT ContactID, ") +
                                Statements::SearchedColumns().join(QStringLiteral(", ")) +
                                QStringLiteral(" FROM Contacts ORDER BY ContactID"))
                                   .toUtf8();
        sqlite3_stmt *st = nullptr;
        sqlite3_prepare_v2(raw.handle(), sql.constData(), int(sql.size()), &st, nullptr);
        const int columns = int(Statements::SearchedColumns().size());
        while (sqlite3_step(st) == SQLITE_ROW) {
            for (int c = 1; c <= columns; ++c) {
                const char *p = reinterpret_cast<const char *>(sqlite3_column_text(st, c));
                if (p && contains(QByteArrayView(p, sqlite3_column_bytes(st, c)))) {
                    ids.push_back(sqlite3_column_int64(st, 0));
                    break;
                }
            }
        }
        sqlite3_finalize(st);
    }
    if (int(ids.size()) != m->storedRows())
        return QStringLiteral("%1 rows found, the folded comparison finds %2").arg(m->storedRows()).arg(ids.size());
    for (int r = 0; r < m->storedRows(); ++r) {
        if (m->cellUtf8(r, ColContactID - 1) != QByteArray::number(ids[size_t(r)]))
            return QStringLiteral("row %1 is another contact").arg(r + 1);
    }
    for (int r = 0; r < m->storedRows(); r += step) {
        const int marked[] = {ColFirstName, ColLastName, ColCategory};
        for (int c : marked) {
            if (contains(m->cellUtf8(r, c - 1)) != m->cellBackground(r, c - 1).isValid())
                return QStringLiteral("row %1 column %2 is marked wrongly").arg(r + 1).arg(c);
        }
        if (contains(m->cellUtf8(r, ColPhones - 1)) !=
                m->cellBackground(r, ColFirstPhone - 1).isValid() ||
            contains(m->cellUtf8(r, ColMails - 1)) !=
                m->cellBackground(r, ColFirstMail - 1).isValid())
            return QStringLiteral("row %1: a list cell is marked wrongly").arg(r + 1);
    }
    return QString();
}

// --- the results table --------------------------------------------------------------------

struct Row
{
    QString what;
    QString size;
    QString median;
    QString figure;
    QString target;
    bool met;
};
std::vector<Row> g_rows;
QStringList g_notes;
QStringList g_times; // how long each part of the run took

void NotePartTime(const char *part, int size, qint64 t0)
{
    g_times << QStringLiteral("%1 %2: %3 s").arg(QLatin1String(part), size ? SizeText(size) : QStringLiteral("—"))
                   .arg(MsSince(t0) / 1000, 0, 'f', 1);
}

void AddRatio(const QString &what, int size, double ms, double rawMs, double limit)
{
    const double ratio = rawMs > 0 ? ms / rawMs : 0;
    g_rows.push_back({what, SizeText(size), QString::number(ms, 'f', 1), QStringLiteral("%1×").arg(ratio, 0, 'f', 2),
                      QStringLiteral("≤ %1× raw").arg(limit, 0, 'f', 2), ratio <= limit});
}

void AddMs(const QString &what, int size, double ms, double limit, const QString &figure = QString())
{
    g_rows.push_back({what, SizeText(size), QString::number(ms, 'f', 1),
                      figure.isEmpty() ? QStringLiteral("%1 ms").arg(ms, 0, 'f', 1) : figure,
                      QStringLiteral("≤ %1 ms").arg(limit), ms <= limit});
}

void PrintTable()
{
    const QStringList head = {QStringLiteral("What"), QStringLiteral("Size"), QStringLiteral("Median ms"),
                              QStringLiteral("Ratio / figure"), QStringLiteral("Target"), QStringLiteral("Met")};
    std::vector<QStringList> lines;
    lines.push_back(head);
    int met = 0;
    for (const Row &r : g_rows) {
        lines.push_back({r.what, r.size, r.median, r.figure, r.target, r.met ? QStringLiteral("yes") : QStringLiteral("NO")});
        met += r.met ? 1 : 0;
    }
    std::vector<int> width(head.size(), 0);
    for (const auto &l : lines)
        for (int i = 0; i < l.size(); ++i)
            width[size_t(i)] = qMax(width[size_t(i)], int(l[i].size()));
    auto print = [&](const QStringList &l) {
        QString s = QStringLiteral("|");
        for (int i = 0; i < l.size(); ++i)
            s += QLatin1Char(' ') + l[i].leftJustified(width[size_t(i)]) + QStringLiteral(" |");
        std::printf("%s\n", qPrintable(s));
    };
    std::printf("\n");
    print(lines[0]);
    QString rule = QStringLiteral("|");
    for (int w : width)
        rule += QString(w + 2, QLatin1Char('-')) + QLatin1Char('|');
    std::printf("%s\n", qPrintable(rule));
    for (size_t i = 1; i < lines.size(); ++i)
        print(lines[i]);
    std::printf("\n");
    for (const QString &n : g_notes)
        std::printf("%s\n", qPrintable(n));
    if (!g_times.isEmpty())
        std::printf("time taken: %s\n", qPrintable(g_times.join(QStringLiteral("; "))));
    std::printf("targets met: %d of %d\n", met, int(g_rows.size()));
    std::fflush(stdout);
}

// --- child processes ----------------------------------------------------------------------

// Runs this program (or another) with arguments and returns what it printed on
// its RESULT line as name=value pairs.
std::map<QString, double> RunChild(const QString &program, const QStringList &args)
{
    std::map<QString, double> values;
    int pipefd[2];
    if (pipe(pipefd) != 0)
        return values;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipefd[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, pipefd[0]);
    std::vector<QByteArray> storage;
    storage.push_back(QFile::encodeName(program));
    for (const QString &a : args)
        storage.push_back(a.toUtf8());
    // The launch time is taken last, just before the process is made.
    storage.push_back(QByteArray());
    std::vector<char *> argv;
    for (auto &s : storage)
        argv.push_back(s.data());
    argv.push_back(nullptr);
    pid_t pid = 0;
    const qint64 launched = MonoNs();
    storage.back() = QByteArray::number(launched);
    argv[storage.size() - 1] = storage.back().data();
    const int rc = posix_spawn(&pid, storage[0].constData(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(pipefd[1]);
    QByteArray out;
    char buf[4096];
    ssize_t n;
    while ((n = read(pipefd[0], buf, sizeof buf)) > 0)
        out.append(buf, n);
    close(pipefd[0]);
    if (rc != 0)
        return values;
    int status = 0;
    waitpid(pid, &status, 0);
    for (const QByteArray &line : out.split('\n')) {
        if (!line.startsWith("RESULT "))
            continue;
        for (const QByteArray &pair : line.mid(7).split(' ')) {
            const qsizetype eq = pair.indexOf('=');
            if (eq > 0)
                values[QString::fromUtf8(pair.left(eq))] = pair.mid(eq + 1).toDouble();
        }
    }
    return values;
}

void PrepareChildProcess()
{
    QStandardPaths::setTestModeEnabled(true);
    InitProductConstants();
}

// A fresh process: the window loads, shows and fills itself as at start-up;
// the first fill is timed from the moment it starts, then the raw scan.
int ChildFirstFill(int argc, char *argv[])
{
    const QString folder = QString::fromUtf8(argv[2]);
    const int rows = QByteArray(argv[3]).toInt();
    StallApplication app(argc, argv);
    PrepareChildProcess();
    MsgBox::SetHeadless(true);
    SetApplicationFolder(folder);
    auto *w = new frmMain();
    if (!w->Load())
        return 1;
    cGrid *grid = GridOf(w);
    FillRun run;
    qint64 t0 = 0;
    qint64 rssBefore = 0;
    QObject::connect(grid->model(), &QAbstractItemModel::modelAboutToBeReset, w, [&] {
        if (!t0) {
            rssBefore = RssBytes();
            t0 = MonoNs();
        }
    });
    AfterEventProbe firstPaint(grid->viewport(), QEvent::Paint);
    firstPaint.arm([grid](QObject *) { return grid->model()->rowCount() > 0; }, [&] { run.firstRows = MsSince(t0); });
    GapTimer gaps;
    gaps.start();
    w->show();
    if (!WaitForList(w, rows))
        return 1;
    grid->viewport()->repaint();
    run.ms = MsSince(t0);
    run.gap = gaps.stopMs();
    const qint64 rssAfter = RssBytes();
    const qint64 model = grid->Model()->memoryUsed();
    RawEngine raw(folder + QStringLiteral("/db/db.sqlite"));
    const double rawMs = raw.scan(Statements::AllContacts()).ms;
    std::printf("RESULT fill=%.3f firstrows=%.3f gap=%.3f raw=%.3f rss=%lld model=%lld rows=%d\n", run.ms,
                run.firstRows, run.gap, rawMs, rssAfter - rssBefore, model, grid->Rows());
    std::fflush(stdout);
    std::_Exit(0);
}

// A fresh process started as the program starts (the real Main()), timed from
// its launch to the end of the main window's first paint.
int ChildStartup(int argc, char *argv[])
{
    const QString folder = QString::fromUtf8(argv[2]);
    const qint64 launched = QByteArray(argv[argc - 1]).toLongLong();
    QApplication app(argc, argv);
    QStandardPaths::setTestModeEnabled(true);
    MsgBox::SetHeadless(true);
    SetApplicationFolder(folder);
    AfterEventProbe probe(&app, QEvent::Expose);
    probe.arm(
        [](QObject *o) {
            frmMain *w = MainWindow();
            return w && o == w->windowHandle() && w->windowHandle()->isExposed();
        },
        [&] {
            std::printf("RESULT paint=%.3f\n", MsSince(launched));
            std::fflush(stdout);
            // Left as a closed window leaves it (untimed): the next start
            // finds the book as a user's next start does.
            if (frmMain *w = MainWindow())
                w->close();
            std::_Exit(0);
        });
    if (Main() != StartResult::Running)
        return 1;
    return app.exec();
}

// --- the benchmark ------------------------------------------------------------------------

struct BenchOptions
{
    QString data = QStringLiteral("/tmp/ardentia-bench");
    std::vector<int> sizes = {10000, 100000, 1000000};
    int runs = 7;
    int childRuns = 7;
    bool verify = true;
    // Parts to run (all when empty): fill, firstfill, search, overtake, tree,
    // changes, vcard (with the window); startup; folding (what keeping the
    // folded search text costs an import); duplicates.
    QStringList only;
    bool wants(const char *part) const { return only.isEmpty() || only.contains(QLatin1String(part)); }
    bool wantsWindow() const
    {
        for (const char *part : {"fill", "firstfill", "search", "overtake", "tree", "changes", "vcard"})
            if (wants(part))
                return true;
        return false;
    }
};

QString BookFolder(const BenchOptions &o, int size)
{
    return o.data + QStringLiteral("/book-%1").arg(size);
}

constexpr int kDuplicatesBookSize = 100000;

QString DuplicatesBook(const BenchOptions &o)
{
    return o.data + QStringLiteral("/dups-%1.sqlite").arg(kDuplicatesBookSize);
}

qint64 QueryNumber(Connection &cn, const char *sql)
{
    Statement st(cn.handle(), sql);
    return st.step() == SQLITE_ROW ? st.int64(0) : 0;
}

// The entry of the window's Edit menu whose text begins so.
QAction *EditEntry(frmMain *w, const char *start)
{
    for (QAction *a : w->findChild<QMenu *>(QStringLiteral("mnuEditTop"))->actions())
        if (a->text().startsWith(QLatin1String(start)))
            return a;
    return nullptr;
}

// Remove, restore and undo of one contact from the window: what each costs
// beyond refilling the list it leaves; the side tables' size; the undo of an
// import of as many contacts as the book holds.
void BenchChanges(const BenchOptions &o, int size, frmMain *w, RawEngine &raw)
{
    // The side tables without history: the UIDs and their index, the bin.
    {
        Statement st(SharedDb()->handle(), "SELECT sum(pgsize) FROM dbstat WHERE name IN ('ContactMeta', "
                                           "'ContactMetaUid', 'RecycleBin', 'BookState')");
        const double bytes = st.step() == SQLITE_ROW ? double(st.int64(0)) : 0;
        g_rows.push_back({QStringLiteral("Side tables on disk, no history (UIDs, bin)"), SizeText(size),
                          QStringLiteral("—"), QStringLiteral("%1 B/contact").arg(bytes / size, 0, 'f', 1),
                          QStringLiteral("≤ 60 B/contact"), bytes / size <= 60});
    }
    auto *removeButton = w->findChild<QToolButton *>(QStringLiteral("button_Remove"));
    auto *restoreButton = w->findChild<QToolButton *>(QStringLiteral("button_Restore"));
    cGrid *grid = GridOf(w);
    // A category of a few per cent, so that its refills are short.
    QTreeWidgetItem *category = Node(w, "CAT:*:MAIN")->child(0);
    std::vector<double> refill, removal, undo, binRefill, restore;
    for (int i = 0; i <= o.runs; ++i) {
        const double r = MeasureFill(w, [&] { w->cTreeView1_NodeClick(category); }).ms;
        grid->SetSelectedRow(1);
        MsgBox::QueueAnswers({QMessageBox::Yes});
        const double rm = MeasureFill(w, [&] { removeButton->click(); }).ms;
        const double u = MeasureFill(w, [&] { EditEntry(w, "&Undo")->trigger(); }).ms;
        // Removed again, then brought back from the bin.
        grid->SetSelectedRow(1);
        MsgBox::QueueAnswers({QMessageBox::Yes});
        MeasureFill(w, [&] { removeButton->click(); });
        const double br = MeasureFill(w, [&] { w->cTreeView1_NodeClick(Node(w, "RECYCLE:*:MAIN")); }).ms;
        grid->SetSelectedRow(1);
        const double rs = MeasureFill(w, [&] { restoreButton->click(); }).ms;
        if (i == 0)
            continue;
        refill.push_back(r);
        removal.push_back(rm);
        undo.push_back(u);
        binRefill.push_back(br);
        restore.push_back(rs);
    }
    AddMs(QStringLiteral("Remove one contact: beyond the list's refill"), size, Median(removal) - Median(refill), 50);
    AddMs(QStringLiteral("Undo of a removal: beyond the list's refill"), size, Median(undo) - Median(refill), 50);
    AddMs(QStringLiteral("Restore from the bin: beyond the bin's refill"), size, Median(restore) - Median(binRefill),
          50);

    // An import of as many contacts as the book holds, one step, undone.
    std::vector<double> undoImport, rawScan;
    for (int i = 0; i <= qMin(o.runs, 3); ++i) {
        Connection &cn = *SharedDb();
        // The keys an insert hands out next: AUTOINCREMENT never reuses those of
        // contacts deleted since (the previous run's undone import).
        const qint64 first = QueryNumber(cn, "SELECT max(coalesce((SELECT seq FROM sqlite_sequence WHERE name = "
                                             "'Contacts'), 0), coalesce((SELECT max(ContactID) FROM Contacts), 0)) + 1");
        {
            JournalStep step(cn, QStringLiteral("import"));
            cn.exec(QStringLiteral("INSERT INTO Contacts (First_Name, Last_Name, Company, Address, Category, Phones, "
                                   "Mails, Websites, Notes, Date_Registed, Picture) SELECT First_Name, Last_Name, "
                                   "Company, Address, Category, Phones, Mails, Websites, Notes, Date_Registed, Picture "
                                   "FROM Contacts ORDER BY ContactID LIMIT %1").arg(size));
            step.keepAdded(first, first + size - 1);
            step.commit();
        }
        const double r = raw.scan(QStringLiteral("SELECT * FROM Contacts LIMIT %1").arg(size)).ms;
        const qint64 t0 = MonoNs();
        Journal::Undo(cn);
        const double u = MsSince(t0);
        if (QueryNumber(cn, "SELECT count(*) FROM Contacts") != size)
            g_notes << QStringLiteral("%1: the undone import left contacts behind").arg(SizeText(size));
        // Nothing of it stays: not even the step to redo.
        cn.exec(QStringLiteral("DELETE FROM JournalRows WHERE Step = (SELECT max(Step) FROM Journal); "
                               "DELETE FROM Journal WHERE Step = (SELECT max(Step) FROM Journal); "
                               "DELETE FROM ContactMeta WHERE ContactID >= %1").arg(first));
        if (i == 0)
            continue;
        undoImport.push_back(u);
        rawScan.push_back(r);
    }
    AddRatio(QStringLiteral("Undo of an import of as many contacts"), size, Median(undoImport), Median(rawScan), 2.0);
}

// vCards: an import of as many generated 3.0 cards as the book holds (at most
// 100,000) into an empty book until committed, beside another address book's
// converter reading the same file; the export of the whole book to 3.0 against
// the raw scan; the event loop's longest wait while the window imports and
// exports with its progress bars.
void BenchInterchange(const BenchOptions &o, int size, frmMain *w, RawEngine &raw)
{
    QTemporaryDir scratch;
    const QString cards = scratch.filePath(QStringLiteral("cards.vcf"));
    // Exports read through a connection that only reads, as the window's and
    // the command line's do.
    SharedConnection reader = Connection::openForWalking(SharedDb()->path());
    std::vector<double> exportMs, rawMs;
    for (int i = 0; i <= qMin(o.runs, 3); ++i) {
        const double r = raw.scan(QStringLiteral("SELECT * FROM Contacts")).ms;
        const qint64 t0 = MonoNs();
        Export::WriteFile(*reader, cards, VCard::Version::V30, Export::Choice());
        const double e = MsSince(t0);
        if (i == 0)
            continue;
        exportMs.push_back(e);
        rawMs.push_back(r);
    }
    AddRatio(QStringLiteral("Export of every contact to vCard 3.0"), size, Median(exportMs), Median(rawMs), 3.0);

    // The cards to import: the first 100,000 of the book's.
    const int n = qMin(size, 100000);
    Export::Choice first;
    first.kind = Export::Choice::Kind::Contacts;
    {
        Statement ids(SharedDb()->handle(), "SELECT ContactID FROM Contacts ORDER BY ContactID LIMIT ?1");
        ids.bind(1, qint64(n));
        while (ids.step() == SQLITE_ROW)
            first.contacts << ids.int64(0);
    }
    Export::WriteFile(*SharedDb(), cards, VCard::Version::V30, first);
    g_notes << QStringLiteral("%1: %2 cards to import, %3 MB").arg(SizeText(n)).arg(n).arg(QFileInfo(cards).size() / 1e6, 0, 'f', 1);
    std::vector<double> importMs, otherMs, readPart;
    for (int i = 0; i <= qMin(o.runs, 3); ++i) {
        QTemporaryDir book;
        SharedConnection cn = Connection::open(book.filePath(QStringLiteral("db.sqlite")));
        BookSchema::Prepare(*cn);
        const qint64 t0 = MonoNs();
        Import::Plan plan = Import::Read(*cn, {cards});
        const double readMs = MsSince(t0);
        const Import::Result done = Import::Write(*cn, plan, book.filePath(QStringLiteral("pictures")));
        const double ms = MsSince(t0);
        readPart.push_back(readMs);
        if (done.added != n)
            g_notes << QStringLiteral("%1: the import added %2 contacts").arg(SizeText(n)).arg(done.added);
        QProcess other;
        const qint64 t1 = MonoNs();
        other.start(QStringLiteral("abook"), {QStringLiteral("--convert"), QStringLiteral("--informat"), QStringLiteral("vcard"),
                                              QStringLiteral("--infile"), cards, QStringLiteral("--outformat"),
                                              QStringLiteral("abook"), QStringLiteral("--outfile"), book.filePath(QStringLiteral("other"))});
        const bool ran = other.waitForFinished(600000) && other.exitCode() == 0;
        const double otherTime = MsSince(t1);
        if (i == 0)
            continue;
        importMs.push_back(ms);
        if (ran)
            otherMs.push_back(otherTime);
    }
    AddMs(QStringLiteral("Import of 100,000 vCard 3.0 cards until committed"), n, Median(importMs), 1500);
    g_notes << QStringLiteral("%1: of the import, reading and weighing the cards took %2 ms")
                   .arg(SizeText(n))
                   .arg(Median(readPart), 0, 'f', 0);
    if (!otherMs.empty())
        g_notes << QStringLiteral("%1: the import took %2 ms; another address book's converter (abook --convert) "
                                  "read the same file in %3 ms: %4×")
                       .arg(SizeText(n))
                       .arg(Median(importMs), 0, 'f', 0)
                       .arg(Median(otherMs), 0, 'f', 0)
                       .arg(Median(importMs) / Median(otherMs), 0, 'f', 2);
    else
        g_notes << QStringLiteral("%1: abook is not installed: no side-by-side figure").arg(SizeText(n));

    // CSV: the whole book out (one row per contact, and the web-mail layout,
    // which reads the lists twice), 100,000 rows in.
    {
        const QString csv = scratch.filePath(QStringLiteral("contacts.csv"));
        std::vector<double> plainMs, webMs, rawCsv;
        for (int i = 0; i <= qMin(o.runs, 3); ++i) {
            const double r = raw.scan(QStringLiteral("SELECT * FROM Contacts")).ms;
            qint64 t0 = MonoNs();
            Export::WriteFile(*reader, csv, Export::Format::CsvPlain, Export::Choice());
            const double plain = MsSince(t0);
            t0 = MonoNs();
            Export::WriteFile(*reader, csv, Export::Format::CsvWebMail, Export::Choice());
            const double web = MsSince(t0);
            if (i == 0)
                continue;
            plainMs.push_back(plain);
            webMs.push_back(web);
            rawCsv.push_back(r);
        }
        AddRatio(QStringLiteral("Export of every contact to CSV, one row per contact"), size, Median(plainMs),
                 Median(rawCsv), 2.0);
        AddRatio(QStringLiteral("Export of every contact to CSV, web-mail layout"), size, Median(webMs),
                 Median(rawCsv), 2.0);
        Export::WriteFile(*SharedDb(), csv, Export::Format::CsvWebMail, first);
        std::vector<double> csvIn;
        for (int i = 0; i <= qMin(o.runs, 3); ++i) {
            QTemporaryDir book;
            SharedConnection cn = Connection::open(book.filePath(QStringLiteral("db.sqlite")));
            BookSchema::Prepare(*cn);
            const qint64 t0 = MonoNs();
            const Import::Result done = Import::Write(*cn, Import::Read(*cn, {csv}), book.filePath(QStringLiteral("p")));
            if (i > 0)
                csvIn.push_back(MsSince(t0));
            if (done.added != n)
                g_notes << QStringLiteral("%1: the CSV import added %2 contacts").arg(SizeText(n)).arg(done.added);
        }
        AddMs(QStringLiteral("Import of 100,000 CSV rows (web-mail layout) until committed"), n, Median(csvIn), 1500);
    }

    // A phone list of 1,000 contacts as a PDF.
    {
        QList<qint64> thousand = first.contacts.mid(0, 1000);
        std::vector<double> pdfMs;
        for (int i = 0; i <= qMin(o.runs, 3); ++i) {
            const qint64 t0 = MonoNs();
            Printout::WritePdf(*SharedDb(), scratch.filePath(QStringLiteral("list.pdf")), thousand,
                               Printout::Layout::PhoneList, false, QStringLiteral("Bench"));
            if (i > 0)
                pdfMs.push_back(MsSince(t0));
        }
        AddMs(QStringLiteral("PDF phone list of 1,000 contacts"), 1000, Median(pdfMs), 2000);
    }

    // From the window, as a user does it: the longest the event loop waits.
    GapTimer gaps;
    gaps.start();
    static_cast<StallApplication *>(qApp)->watch(50);
    {
        // The file dropped on the window, as a user does it; done once the
        // window has said so and refilled its list.
        const qsizetype asked = MsgBox::AskedTexts().size();
        MsgBox::QueueAnswers({QMessageBox::Yes, QMessageBox::Ok});
        QMimeData data;
        data.setUrls({QUrl::fromLocalFile(cards)});
        const QPointF at = w->rect().center();
        QDragEnterEvent enter(at.toPoint(), Qt::CopyAction, &data, Qt::LeftButton, {});
        QApplication::sendEvent(w, &enter);
        QDropEvent drop(at, Qt::CopyAction, &data, Qt::LeftButton, {});
        QApplication::sendEvent(w, &drop);
        const qint64 t0 = MonoNs();
        while ((MsgBox::AskedTexts().size() < asked + 2 || w->IsFilling()) && MsSince(t0) < 600000)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    const double importGap = gaps.stopMs();
    for (const QString &stall : static_cast<StallApplication *>(qApp)->stop())
        g_notes << QStringLiteral("%1: window import: %2").arg(SizeText(n), stall);
    g_notes << QStringLiteral("%1: the window said: %2").arg(SizeText(n), MsgBox::AskedTexts().value(MsgBox::AskedTexts().size() - 1).simplified());
    Journal::Undo(*SharedDb());
    SharedDb()->exec(QStringLiteral("DELETE FROM JournalRows WHERE Step = (SELECT max(Step) FROM Journal); "
                                    "DELETE FROM Journal WHERE Step = (SELECT max(Step) FROM Journal); "
                                    "DELETE FROM ContactMeta WHERE ContactID NOT IN (SELECT ContactID FROM Contacts)"));
    QTimer::singleShot(0, [&] {
        if (auto *d = qobject_cast<QDialog *>(QApplication::activeModalWidget())) {
            d->findChild<QLineEdit *>(QStringLiteral("txtFile"))->setText(cards);
            MsgBox::QueueAnswers({QMessageBox::Ok});
            d->accept();
        }
    });
    gaps.start();
    auto *stalls = static_cast<StallApplication *>(qApp);
    stalls->watch(50);
    Transfer::ExportContacts(w, *SharedDb(), Transfer::ExportOffer());
    const double exportGap = gaps.stopMs();
    for (const QString &stall : stalls->stop())
        g_notes << QStringLiteral("%1: window export: %2").arg(SizeText(size), stall);
    AddMs(QStringLiteral("Event loop's longest wait: import from the window"), n, importGap, 50,
          QStringLiteral("%1 ms").arg(importGap, 0, 'f', 1));
    AddMs(QStringLiteral("Event loop's longest wait: export from the window"), size, exportGap, 50,
          QStringLiteral("%1 ms").arg(exportGap, 0, 'f', 1));
}

void BenchSize(const BenchOptions &o, int size, const QString &self)
{
    const QString folder = BookFolder(o, size);
    SetApplicationFolder(folder);
    RawEngine raw(folder + QStringLiteral("/db/db.sqlite"));
    const bool big = size >= 100000;

    auto *w = new frmMain();
    if (!w->Load()) {
        g_notes << QStringLiteral("%1: the window did not load").arg(SizeText(size));
        return;
    }
    w->show();
    if (!WaitForList(w, size)) {
        g_notes << QStringLiteral("%1: the first fill did not end").arg(SizeText(size));
        return;
    }
    std::vector<double> gapsAll;

    // Fill with every contact (a click on All), against the raw scan.
    const qint64 fillStart = MonoNs();
    std::vector<double> rawAll, fill, firstRows;
    for (int i = 0; i <= (o.wants("fill") ? o.runs : 0); ++i) {
        const double r = raw.scan(Statements::AllContacts()).ms;
        const FillRun f = MeasureFill(w, [w] { w->cTreeView1_NodeClick(Node(w, "ALL:*:MAIN")); });
        if (f.rows != size)
            g_notes << QStringLiteral("%1: the fill showed %2 rows").arg(SizeText(size)).arg(f.rows);
        gapsAll.push_back(f.gap);
        if (i == 0)
            continue; // warm-up
        rawAll.push_back(r);
        fill.push_back(f.ms);
        firstRows.push_back(f.firstRows);
    }
    if (o.verify && o.wants("fill")) {
        const QString problem = VerifyAll(w, raw);
        g_notes << QStringLiteral("%1: list checked against the engine, cell by cell: %2")
                       .arg(SizeText(size), problem.isEmpty() ? QStringLiteral("identical") : problem);
    }
    const double rawMs = Median(rawAll);
    if (o.wants("fill"))
        g_notes << QStringLiteral("%1: raw scan of every contact %2 ms").arg(SizeText(size)).arg(rawMs, 0, 'f', 1);
    if (big && o.wants("fill"))
        AddRatio(QStringLiteral("Fill with all contacts until painted (refill)"), size, Median(fill), rawMs, 2.0);
    if (o.wants("fill")) {
        AddMs(QStringLiteral("First rows visible after a fill starts"), size, Median(firstRows), 50,
          QStringLiteral("%1 ms (max %2)").arg(Median(firstRows), 0, 'f', 1).arg(Max(firstRows), 0, 'f', 1));
        NotePartTime("fill", size, fillStart);
    }

    // First fill in a fresh process (children), with the memory it takes.
    if (big && o.wants("firstfill")) {
        const qint64 t0 = MonoNs();
        std::vector<double> childFill, childRaw, childFirst, rss, model;
        for (int i = 0; i <= o.childRuns; ++i) {
            auto v = RunChild(self, {QStringLiteral("--child-firstfill"), folder, QString::number(size)});
            if (v.count(QStringLiteral("fill")) == 0 || int(v[QStringLiteral("rows")]) != size) {
                g_notes << QStringLiteral("%1: a fresh-process fill failed").arg(SizeText(size));
                continue;
            }
            gapsAll.push_back(v[QStringLiteral("gap")]);
            if (i == 0)
                continue;
            childFill.push_back(v[QStringLiteral("fill")]);
            childRaw.push_back(v[QStringLiteral("raw")]);
            childFirst.push_back(v[QStringLiteral("firstrows")]);
            rss.push_back(v[QStringLiteral("rss")]);
            model.push_back(v[QStringLiteral("model")]);
        }
        AddRatio(QStringLiteral("First fill in a fresh process until painted"), size, Median(childFill),
                 Median(childRaw), 3.0);
        AddMs(QStringLiteral("First rows visible, first fill in a fresh process"), size, Median(childFirst), 50);
        if (size >= 1000000) {
            const double perContact = Median(rss) / size;
            g_rows.push_back({QStringLiteral("Memory held by the list (process growth during the fill)"),
                              SizeText(size), QStringLiteral("—"),
                              QStringLiteral("%1 B/contact").arg(perContact, 0, 'f', 0),
                              QStringLiteral("≤ 250 B/contact"), perContact <= 250});
            g_notes << QStringLiteral("%1: the list's own row store holds %2 bytes a contact")
                           .arg(SizeText(size))
                           .arg(Median(model) / size, 0, 'f', 1);
        }
        NotePartTime("firstfill", size, t0);
    }

    // All-fields search with its highlights, accents and case ignored,
    // against the engine's own LIKE over the plain columns (which finds
    // fewer: "ma" is not in "Mårten" for it).
    ShowSearchBar(w);
    auto *txt = w->findChild<QLineEdit *>(QStringLiteral("txtSearchFor"));
    auto *cbo = w->findChild<QComboBox *>(QStringLiteral("cboSearchIn"));
    auto *cmd = w->findChild<QPushButton *>(QStringLiteral("cmdSearch"));
    cbo->setCurrentIndex(0);
    const struct
    {
        QString term;
        const char *what;
        const char *kind;
        double limit;
    } searches[] = {{BenchData::BroadTerm(), "All-fields search until painted, broad term", "broad term", 1.3},
                    {BenchData::SelectiveTerm(), "All-fields search until painted, selective term", "selective term",
                     1.15},
                    {BenchData::AccentFreeTerm(), "All-fields search until painted, term found in accented names",
                     "term found in accented names", 1.3}};
    const qint64 searchStart = MonoNs();
    for (const auto &s : searches) {
        if (!o.wants("search"))
            break;
        txt->setText(s.term);
        std::vector<double> rawLike, search, firstRows;
        int found = 0, plain = 0;
        for (int i = 0; i <= o.runs; ++i) {
            const RawEngine::Scan r = raw.scan(Statements::SearchAllFields(s.term));
            const FillRun f = MeasureFill(w, [cmd] { cmd->click(); });
            gapsAll.push_back(f.gap);
            found = f.rows;
            plain = r.rows;
            if (i == 0)
                continue;
            rawLike.push_back(r.ms);
            search.push_back(f.ms);
            firstRows.push_back(f.firstRows);
        }
        g_notes << QStringLiteral("%1: \"%2\" found in %3 contacts (%4 %), the plain LIKE finds %5; raw nine-field "
                                  "LIKE scan %6 ms")
                       .arg(SizeText(size), s.term)
                       .arg(found)
                       .arg(100.0 * found / size, 0, 'f', 1)
                       .arg(plain)
                       .arg(Median(rawLike), 0, 'f', 1);
        if (o.verify) {
            const qint64 t0 = MonoNs();
            const QString problem = VerifySearch(w, raw, s.term, size > 100000 ? 7 : 1);
            g_notes << QStringLiteral("%1: \"%2\" checked against a folded comparison of every contact: %3 (%4 s)")
                           .arg(SizeText(size), s.term, problem.isEmpty() ? QStringLiteral("identical") : problem)
                           .arg(MsSince(t0) / 1000, 0, 'f', 1);
        }
        if (big) {
            AddRatio(QString::fromLatin1(s.what), size, Median(search), Median(rawLike), s.limit);
            AddMs(QStringLiteral("All-fields search: first rows painted, %1").arg(QLatin1String(s.kind)), size,
                  Median(firstRows), 50,
                  QStringLiteral("%1 ms (max %2)").arg(Median(firstRows), 0, 'f', 1).arg(Max(firstRows), 0, 'f', 1));
        }
    }
    if (o.wants("search"))
        NotePartTime("search", size, searchStart);

    // A search that finds nothing still lets the window run.
    txt->setText(BenchData::MissingTerm());
    for (int i = 0; i < 2; ++i)
        gapsAll.push_back(MeasureFill(w, [cmd] { cmd->click(); }).gap);

    // The same search overtaken by a click on All as soon as the window
    // answers again: the new list shows at once. (The folded search of a
    // 100,000-contact book ends some 20 ms after its click, most of it in one
    // stretch of the window's thread: a click timed later comes too late.)
    if (big && o.wants("overtake")) {
        const qint64 t0 = MonoNs();
        std::vector<double> overtaken;
        bool ok = true;
        for (int i = 0; i < 3; ++i) {
            txt->setText(BenchData::MissingTerm());
            cGrid *grid = GridOf(w);
            double firstRowsAfterClick = -1;
            qint64 clicked = 0;
            AfterEventProbe firstPaint(grid->viewport(), QEvent::Paint);
            QTimer::singleShot(0, w, [&] {
                clicked = MonoNs();
                firstPaint.arm([grid](QObject *) { return grid->model()->rowCount() > 0; },
                               [&] { firstRowsAfterClick = MsSince(clicked); });
                w->cTreeView1_NodeClick(Node(w, "ALL:*:MAIN"));
            });
            const FillRun f = MeasureFill(w, [cmd] { cmd->click(); });
            gapsAll.push_back(f.gap);
            ok = ok && f.rows == size && !SearchBarShown(w) && clicked != 0;
            overtaken.push_back(firstRowsAfterClick < 0 ? 1e9 : firstRowsAfterClick);
            ShowSearchBar(w);
        }
        AddMs(QStringLiteral("Search overtaken by a tree click: the new list's first rows"), size,
              Median(overtaken), 50,
              ok ? QStringLiteral("%1 ms (max %2)").arg(Median(overtaken), 0, 'f', 1).arg(Max(overtaken), 0, 'f', 1)
                 : QStringLiteral("the click did not take over"));
        if (!ok)
            g_rows.back().met = false;
        NotePartTime("overtake", size, t0);
    }

    // The tree's letters and categories, as built at start-up.
    if (big && o.wants("tree")) {
        const qint64 t0 = MonoNs();
        std::vector<double> tree, rawTree;
        for (int i = 0; i <= o.runs; ++i) {
            const double r = raw.scan(Statements::AllContacts()).ms;
            const qint64 t0 = MonoNs();
            w->setTree();
            // A large book's letters and categories come in beside the window.
            if (Node(w, "ABC:*:MAIN")->childCount() == 0 || Node(w, "CAT:*:MAIN")->childCount() == 0) {
                QEventLoop wait;
                QTimer poll;
                QObject::connect(&poll, &QTimer::timeout, &wait, [&] {
                    if ((Node(w, "ABC:*:MAIN")->childCount() > 0 && Node(w, "CAT:*:MAIN")->childCount() > 0) ||
                        MsSince(t0) > 60000)
                        wait.quit();
                });
                poll.start(1);
                wait.exec();
            }
            if (i > 0) {
                tree.push_back(MsSince(t0));
                rawTree.push_back(r);
            }
        }
        AddRatio(QStringLiteral("Build the tree's letters and categories"), size, Median(tree), Median(rawTree), 0.5);
        g_notes << QStringLiteral("%1: tree has %2 letters and %3 categories")
                       .arg(SizeText(size))
                       .arg(Node(w, "ABC:*:MAIN")->childCount())
                       .arg(Node(w, "CAT:*:MAIN")->childCount());
        NotePartTime("tree", size, t0);
    }

    if (big && o.wants("changes")) {
        const qint64 t0 = MonoNs();
        BenchChanges(o, size, w, raw);
        NotePartTime("changes", size, t0);
    }
    if (big && o.wants("vcard")) {
        const qint64 t0 = MonoNs();
        BenchInterchange(o, size, w, raw);
        NotePartTime("vcard", size, t0);
    }

    g_rows.push_back({QStringLiteral("Event loop's longest wait during fills and searches"), SizeText(size),
                      QStringLiteral("—"), QStringLiteral("%1 ms").arg(Max(gapsAll), 0, 'f', 1),
                      QStringLiteral("≤ 50 ms"), Max(gapsAll) <= 50});
    w->close();
    delete w;
}

// What keeping the folded search text costs an import: the first 100,000
// contacts of the book as vCard 3.0 cards, read and written into an empty book
// until committed (as the vCard import row measures it), once with the
// triggers that mark new contacts for folding and once with them dropped, so
// that nothing is marked and the commit folds nothing. The two kinds of run
// take turns, each first every other time.
void BenchFoldingUpkeep(const BenchOptions &o, int size)
{
    QTemporaryDir scratch;
    const QString cards = scratch.filePath(QStringLiteral("cards.vcf"));
    const int n = qMin(size, 100000);
    {
        SharedConnection source = Connection::openForReading(BookFolder(o, size) + QStringLiteral("/db/db.sqlite"));
        Export::Choice first;
        first.kind = Export::Choice::Kind::Contacts;
        Statement ids(source->handle(), "SELECT ContactID FROM Contacts ORDER BY ContactID LIMIT ?1");
        ids.bind(1, qint64(n));
        while (ids.step() == SQLITE_ROW)
            first.contacts << ids.int64(0);
        Export::WriteFile(*source, cards, VCard::Version::V30, first);
    }
    std::vector<double> with, without, writeWith, writeWithout, foldOnly;
    QString problem;
    for (int i = 0; i <= o.runs; ++i) {
        for (int turn = 0; turn < 2; ++turn) {
            const bool dropped = (turn + i) % 2 == 1;
            QTemporaryDir book;
            SharedConnection cn = Connection::open(book.filePath(QStringLiteral("db.sqlite")));
            BookSchema::Prepare(*cn);
            // Without any upkeep: no triggers, and the folded text the import
            // writes goes nowhere (a view that takes rows and keeps none).
            if (dropped)
                cn->exec(QStringLiteral("DROP TRIGGER ContactsFoldAdded; DROP TRIGGER ContactsFoldChanged; "
                                        "DROP TRIGGER ContactsFoldRemoved; ALTER TABLE ContactFolded RENAME TO "
                                        "ContactFoldedAside; CREATE VIEW ContactFolded (ContactID, Folded) AS SELECT "
                                        "ContactID, Folded FROM ContactFoldedAside WHERE 0; CREATE TRIGGER NoFoldedRows "
                                        "INSTEAD OF INSERT ON ContactFolded BEGIN SELECT 1; END; CREATE TRIGGER "
                                        "NoFoldedChanges INSTEAD OF UPDATE ON ContactFolded BEGIN SELECT 1; END"));
            const qint64 t0 = MonoNs();
            const Import::Plan plan = Import::Read(*cn, {cards});
            const qint64 t1 = MonoNs();
            const Import::Result done = Import::Write(*cn, plan, book.filePath(QStringLiteral("pictures")));
            const double ms = MsSince(t0), writeMs = MsSince(t1);
            const qint64 folded = QueryNumber(*cn, "SELECT count(Folded) FROM ContactFolded");
            if (problem.isEmpty() && done.added != n)
                problem = QStringLiteral("the import added %1 contacts").arg(done.added);
            if (problem.isEmpty() && folded != (dropped ? 0 : n))
                problem = QStringLiteral("%1 folded texts after an import %2 the triggers")
                              .arg(folded)
                              .arg(dropped ? QStringLiteral("without") : QStringLiteral("with"));
            if (i == 0)
                continue;
            (dropped ? without : with).push_back(ms);
            (dropped ? writeWithout : writeWith).push_back(writeMs);
            if (!dropped) {
                // The folding alone, of the same contacts: the rest is the triggers' bookkeeping.
                const qint64 t2 = MonoNs();
                QueryNumber(*cn, "SELECT sum(length(fold_contact(First_Name, Last_Name, Company, Phones, Mails, "
                                 "Category, Address, Websites, Notes))) FROM Contacts");
                foldOnly.push_back(MsSince(t2));
            }
        }
    }
    const double cost = Median(without) > 0 ? Median(with) / Median(without) - 1 : 0;
    g_rows.push_back({QStringLiteral("Import of 100,000 vCard cards: keeping the folded search text"), SizeText(n),
                      QString::number(Median(with), 'f', 1),
                      QStringLiteral("%1%2 % (%3 ms without)")
                          .arg(cost >= 0 ? QStringLiteral("+") : QString())
                          .arg(100 * cost, 0, 'f', 1)
                          .arg(Median(without), 0, 'f', 1),
                      QStringLiteral("≤ +10 %"), cost <= 0.10 && problem.isEmpty()});
    g_notes << QStringLiteral("%1: import with the folding triggers %2 ms (max %3), without %4 ms (max %5); of it "
                              "writing until committed %6 ms with, %7 ms without; folding the imported contacts "
                              "alone takes %9 ms; %8")
                   .arg(SizeText(n))
                   .arg(Median(with), 0, 'f', 1)
                   .arg(Max(with), 0, 'f', 1)
                   .arg(Median(without), 0, 'f', 1)
                   .arg(Max(without), 0, 'f', 1)
                   .arg(Median(writeWith), 0, 'f', 1)
                   .arg(Median(writeWithout), 0, 'f', 1)
                   .arg(problem.isEmpty() ? QStringLiteral("every contact folded with them, none without") : problem)
                   .arg(Median(foldOnly), 0, 'f', 1);
}

// The duplicate finder over the book with planted second cards and
// namesakes (bench/Generator.h), numbers read as dialled from GB; then its
// groups against what the book was made of.
void BenchDuplicates(const BenchOptions &o)
{
    const int size = kDuplicatesBookSize;
    SharedConnection cn = Connection::openForReading(DuplicatesBook(o));
    struct Truth
    {
        int person = 0;
        int namesake = 0;
        int planted = 0;
        QString kind;
    };
    std::unordered_map<qint64, Truth> truth;
    {
        Statement st(cn->handle(), "SELECT ContactID, Person, Namesake, Planted, Kind FROM BenchPeople");
        while (st.step() == SQLITE_ROW)
            truth[st.int64(0)] = {int(st.int64(1)), int(st.int64(2)), int(st.int64(3)), st.text(4)};
    }
    std::vector<double> ms;
    QList<Duplicates::Group> groups;
    for (int i = 0; i <= o.runs; ++i) {
        const qint64 t0 = MonoNs();
        groups = Duplicates::FindDuplicates(*cn, QStringLiteral("GB"));
        if (i > 0)
            ms.push_back(MsSince(t0));
    }
    AddMs(QStringLiteral("Find duplicates (2 % planted, namesakes, numbers read as from GB)"), size, Median(ms), 1500,
          QStringLiteral("%1 ms (max %2)").arg(Median(ms), 0, 'f', 1).arg(Max(ms), 0, 'f', 1));
    {
        // Of it, reading each number as written once, as the finder does.
        QSet<QString> distinct;
        Statement st(cn->handle(), "SELECT Phones FROM Contacts");
        while (st.step() == SQLITE_ROW)
            for (const ItemEntry &e : SplitItemList(st.text(0)))
                if (!e.sItem.trimmed().isEmpty())
                    distinct.insert(e.sItem.trimmed().simplified());
        const QStringList numbers(distinct.begin(), distinct.end());
        std::vector<double> parse;
        for (int i = 0; i < 3; ++i) {
            const qint64 t0 = MonoNs();
            Phone::ToE164(numbers, QStringLiteral("GB"));
            parse.push_back(MsSince(t0));
        }
        g_notes << QStringLiteral("duplicates: of the search, reading the %1 distinct phone numbers takes %2 ms")
                       .arg(numbers.size())
                       .arg(Median(parse), 0, 'f', 1);
    }

    // Each contact's group; each group's people.
    const QString nameOnly = QStringLiteral("same name only");
    std::unordered_map<qint64, int> groupOf;
    int wrong = 0, namesakeGroups = 0, namesakesOtherwise = 0, crowded = 0;
    std::map<QString, int> reasons;
    QStringList wrongSamples;
    for (int g = 0; g < int(groups.size()); ++g) {
        const Duplicates::Group &group = groups[g];
        reasons[group.reason] += 1;
        std::set<int> people;
        for (qint64 id : group.contacts) {
            groupOf[id] = g;
            people.insert(truth[id].person);
        }
        if (people.size() < 2)
            continue;
        if (group.reason != nameOnly) {
            ++wrong;
            if (wrongSamples.size() < 3) {
                QStringList ids;
                for (qint64 id : group.contacts)
                    ids << QString::number(id);
                wrongSamples << QStringLiteral("%1 (%2)").arg(ids.join(QLatin1Char(',')), group.reason);
            }
            continue;
        }
        // A group of a name alone: the namesakes the book was given, or not.
        bool pair = people.size() == 2;
        int namesake = -1;
        for (qint64 id : group.contacts) {
            const int n = truth[id].namesake;
            pair = pair && n != 0 && (namesake < 0 || n == namesake);
            namesake = n;
        }
        if (pair)
            ++namesakeGroups;
        else
            ++namesakesOtherwise;
    }
    // Every second card in the group of its first, and no one else there.
    std::unordered_map<int, std::vector<qint64>> cardsOf;
    for (const auto &[id, t] : truth)
        if (t.planted)
            cardsOf[t.person].push_back(id);
    int pairs = 0, together = 0;
    std::map<QString, std::pair<int, int>> byKind; // kind → (planted, found together)
    for (const auto &[person, ids] : cardsOf) {
        if (ids.size() != 2)
            continue;
        ++pairs;
        const QString &kind = truth[ids[0]].planted == 2 ? truth[ids[0]].kind : truth[ids[1]].kind;
        byKind[kind].first += 1;
        const auto a = groupOf.find(ids[0]), b = groupOf.find(ids[1]);
        if (a != groupOf.end() && b != groupOf.end() && a->second == b->second) {
            ++together;
            byKind[kind].second += 1;
            if (groups[a->second].contacts.size() > 2)
                ++crowded;
        }
    }
    int namesakePairs = 0;
    {
        std::set<int> seen;
        for (const auto &[id, t] : truth)
            if (t.namesake)
                seen.insert(t.namesake);
        namesakePairs = int(seen.size());
    }
    g_rows.push_back({QStringLiteral("Planted duplicate pairs found in one group"), SizeText(size), QStringLiteral("—"),
                      QStringLiteral("%1 of %2").arg(together).arg(pairs), QStringLiteral("all"),
                      pairs > 0 && together == pairs});
    g_rows.push_back({QStringLiteral("Groups joining distinct people for more than a shared name"), SizeText(size),
                      QStringLiteral("—"), QString::number(wrong), QStringLiteral("0"), wrong == 0});
    g_notes << QStringLiteral("duplicates: %1 groups; \"same name only\" groups of distinct people: %2 of the %3 "
                              "namesake pairs planted, %4 others; planted pairs in a group with more contacts: %5")
                   .arg(groups.size())
                   .arg(namesakeGroups)
                   .arg(namesakePairs)
                   .arg(namesakesOtherwise)
                   .arg(crowded);
    QStringList reasonText;
    for (const auto &[reason, count] : reasons)
        reasonText << QStringLiteral("%1 × \"%2\"").arg(count).arg(reason);
    g_notes << QStringLiteral("duplicates: reasons given: %1").arg(reasonText.join(QStringLiteral(", ")));
    QStringList kindText;
    for (const auto &[kind, counts] : byKind)
        if (counts.second != counts.first)
            kindText << QStringLiteral("%1: %2 of %3").arg(kind).arg(counts.second).arg(counts.first);
    if (!kindText.isEmpty())
        g_notes << QStringLiteral("duplicates: planted pairs missed by kind: %1").arg(kindText.join(QStringLiteral("; ")));
    if (!wrongSamples.isEmpty())
        g_notes << QStringLiteral("duplicates: groups of distinct people, e.g. %1").arg(wrongSamples.join(QStringLiteral("; ")));
}

void BenchStartup(const BenchOptions &o, const QString &self, const QString &trivial)
{
    const int size = 100000;
    std::vector<double> program, plain;
    for (int i = 0; i <= o.childRuns; ++i) {
        auto p = RunChild(self, {QStringLiteral("--child-startup"), BookFolder(o, size)});
        auto t = RunChild(trivial, {});
        if (!p.count(QStringLiteral("paint")) || !t.count(QStringLiteral("paint"))) {
            g_notes << QStringLiteral("start-up: a child did not report its first paint");
            continue;
        }
        if (i == 0)
            continue;
        program.push_back(p[QStringLiteral("paint")]);
        plain.push_back(t[QStringLiteral("paint")]);
    }
    const double ratio = Median(plain) > 0 ? Median(program) / Median(plain) : 0;
    g_rows.push_back({QStringLiteral("Start-up to the first painted main window"), SizeText(size),
                      QString::number(Median(program), 'f', 1),
                      QStringLiteral("%1× (trivial program %2 ms)").arg(ratio, 0, 'f', 2).arg(Median(plain), 0, 'f', 1),
                      QStringLiteral("≤ 2.00× trivial"), ratio <= 2.0});
}

} // namespace

void QuietMessages(QtMsgType type, const QMessageLogContext &, const QString &message)
{
    if (message.contains(QLatin1String("propagateSizeHints")))
        return;
    std::fprintf(stderr, "%s\n", qPrintable(message));
    if (type == QtFatalMsg)
        std::abort();
}

int main(int argc, char *argv[])
{
    qInstallMessageHandler(QuietMessages);
    if (argc >= 4 && qstrcmp(argv[1], "--child-firstfill") == 0)
        return ChildFirstFill(argc, argv);
    if (argc >= 3 && qstrcmp(argv[1], "--child-startup") == 0)
        return ChildStartup(argc, argv);

    BenchOptions o;
    bool generateOnly = false;
    for (int i = 1; i < argc; ++i) {
        const QByteArray a = argv[i];
        if (a == "--data" && i + 1 < argc) {
            o.data = QString::fromUtf8(argv[++i]);
        } else if (a == "--sizes" && i + 1 < argc) {
            o.sizes.clear();
            for (const QByteArray &s : QByteArray(argv[++i]).split(','))
                o.sizes.push_back(s.toInt());
        } else if (a == "--runs" && i + 1 < argc) {
            o.runs = qMax(1, QByteArray(argv[++i]).toInt());
            o.childRuns = o.runs;
        } else if (a == "--only" && i + 1 < argc) {
            o.only = QString::fromUtf8(argv[++i]).split(QLatin1Char(','));
        } else if (a == "--no-verify") {
            o.verify = false;
        } else if (a == "--generate-only") {
            generateOnly = true;
        } else {
            std::fprintf(stderr,
                         "usage: %s [--data FOLDER] [--sizes 10000,100000,1000000] [--runs N] [--no-verify] "
                         "[--only fill,firstfill,search,overtake,tree,changes,vcard,startup,folding,duplicates] "
                         "[--generate-only]\n",
                         argv[0]);
            return 2;
        }
    }

    // The children find the platform and a private runtime folder in the environment.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    const QString runtime = o.data + QStringLiteral("/runtime");
    QDir().mkpath(runtime);
    QFile::setPermissions(runtime, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    qputenv("XDG_RUNTIME_DIR", runtime.toUtf8());

    StallApplication app(argc, argv);
    PrepareChildProcess();
    MsgBox::SetHeadless(true);
    const QString self = QCoreApplication::applicationFilePath();
    const QString trivial = QCoreApplication::applicationDirPath() + QStringLiteral("/ardentia_bench_trivial");
    const QString language = QStringLiteral(ARDENTIA_SOURCE_DIR "/resources/trans/eng.txt");

    std::vector<int> needed = o.sizes;
    if (std::find(needed.begin(), needed.end(), 100000) == needed.end())
        needed.push_back(100000); // the start-up book
    for (int size : needed) {
        const qint64 t0 = MonoNs();
        const bool existed = QFileInfo::exists(BookFolder(o, size) + QStringLiteral("/db/db.sqlite"));
        if (!BenchData::EnsureBook(BookFolder(o, size), size, language)) {
            std::fprintf(stderr, "cannot make the book of %d contacts in %s\n", size, qPrintable(o.data));
            return 1;
        }
        if (!existed)
            std::printf("made the book of %d contacts in %.1f s\n", size, MsSince(t0) / 1000);
        // The program's side tables, as its first start makes them: no run measures that once-only step.
        try {
            const qint64 t1 = MonoNs();
            auto cn = Connection::open(BookFolder(o, size) + QStringLiteral("/db/db.sqlite"));
            if (BookSchema::Prepare(*cn) == BookSchema::Status::Upgraded)
                std::printf("gave the book of %d contacts its side tables in %.1f s\n", size, MsSince(t1) / 1000);
        } catch (const StoreError &e) {
            std::fprintf(stderr, "cannot prepare the book of %d contacts: %s\n", size, qPrintable(e.message()));
            return 1;
        }
    }
    if (o.wants("duplicates")) {
        const qint64 t0 = MonoNs();
        const bool existed = QFileInfo::exists(DuplicatesBook(o));
        if (!BenchData::EnsureDuplicatesBook(DuplicatesBook(o), kDuplicatesBookSize)) {
            std::fprintf(stderr, "cannot make the book for the duplicate finder in %s\n", qPrintable(o.data));
            return 1;
        }
        if (!existed)
            std::printf("made the book of %d contacts with planted duplicates in %.1f s\n", kDuplicatesBookSize,
                        MsSince(t0) / 1000);
    }
    if (generateOnly)
        return 0;

    std::printf("Ardentia benchmark: medians of %d runs after a warm-up; ratios to the raw engine in the same run\n",
                o.runs);
    std::fflush(stdout);
    if (o.wants("startup")) {
        const qint64 t0 = MonoNs();
        BenchStartup(o, self, trivial);
        NotePartTime("startup", 100000, t0);
    }
    for (int size : o.sizes) {
        std::printf("measuring %d contacts...\n", size);
        std::fflush(stdout);
        if (size >= 100000 && o.wants("folding")) {
            const qint64 t0 = MonoNs();
            BenchFoldingUpkeep(o, size);
            NotePartTime("folding", size, t0);
        }
        if (o.wantsWindow())
            BenchSize(o, size, self);
    }
    if (o.wants("duplicates")) {
        std::printf("finding duplicates...\n");
        std::fflush(stdout);
        const qint64 t0 = MonoNs();
        BenchDuplicates(o);
        NotePartTime("duplicates", kDuplicatesBookSize, t0);
    }
    PrintTable();
    return 0;
}
