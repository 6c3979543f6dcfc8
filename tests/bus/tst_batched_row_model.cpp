// The row model behind the command log and the memory list: what it holds at once, and what a view attached
// to it learns, in batches, with every signal consistent with rowCount() and data() (Qt's model tester
// watches every step).

#include "bus/batched_row_model.h"
#include "bus/command_log.h"

#include <QAbstractItemModelTester>
#include <QDateTime>
#include <QSignalSpy>
#include <QtTest>

using namespace navix;

namespace {
constexpr int BoundMs = 2000;
using Order = BatchedRowModel::Order;

QStringList Numbered(int number)
{
    return {"#" + QString::number(number)};
}

// The first cells of every row the view was told about, top row first.
QStringList Shown(const BatchedRowModel &model)
{
    QStringList cells;
    for (int row = 0; row < model.rowCount(); ++row)
        cells.append(model.data(model.index(row, 0), Qt::DisplayRole).toString());
    return cells;
}

QStringList Held(const BatchedRowModel &model)
{
    QStringList cells;
    for (int row = 0; row < model.Count(); ++row)
        cells.append(model.Row(row).value(0));
    return cells;
}

QStringList Range(int from, int to)
{
    QStringList cells;
    for (int number = from; from <= to ? number <= to : number >= to; number += from <= to ? 1 : -1)
        cells.append("#" + QString::number(number));
    return cells;
}

// A model with Qt's tester and counters on it.
struct Watched
{
    Watched(int capacity, Order order) : model({"First", "Second", "Third"}, capacity, order) {}
    bool Settled()
    {
        return QTest::qWaitFor([this] { return model.rowCount() == model.Count(); }, BoundMs);
    }

    BatchedRowModel model;
    QAbstractItemModelTester tester{&model, QAbstractItemModelTester::FailureReportingMode::QtTest};
    QSignalSpy inserted{&model, &QAbstractItemModel::rowsInserted};
    QSignalSpy removed{&model, &QAbstractItemModel::rowsRemoved};
    QSignalSpy changed{&model, &QAbstractItemModel::dataChanged};
};
} // namespace

class TestBatchedRowModel : public QObject
{
    Q_OBJECT
private slots:
    void rowsHeldAtOnceAndShownInOneBatch_data();
    void rowsHeldAtOnceAndShownInOneBatch();
    void rowsPushedOutBetweenBatchesNeverReachTheView();
    void aFullListChangesTextsInPlace_data();
    void aFullListChangesTextsInPlace();
    void cellsAddedToAShownRow();
    void clearEmptiesModelAndView();
    void commandLogColumns();
    void logTimeOfDayIsTheLocalTime();
};

void TestBatchedRowModel::rowsHeldAtOnceAndShownInOneBatch_data()
{
    QTest::addColumn<int>("order");
    QTest::addColumn<int>("rows");
    QTest::addColumn<QStringList>("held");
    QTest::addColumn<int>("removedRow");
    QTest::addColumn<int>("insertedRow");

    // Ten rows into room for six, in two batches of five: the second batch removes four and adds five.
    QTest::newRow("newest first") << int(Order::NewestFirst) << 10 << Range(10, 5) << 1 << 0;
    QTest::newRow("oldest first") << int(Order::OldestFirst) << 10 << Range(5, 10) << 0 << 1;
}

void TestBatchedRowModel::rowsHeldAtOnceAndShownInOneBatch()
{
    QFETCH(int, order);
    QFETCH(int, rows);
    QFETCH(QStringList, held);
    QFETCH(int, removedRow);
    QFETCH(int, insertedRow);

    Watched watched(6, Order(order));
    BatchedRowModel &model = watched.model;
    for (int number = 1; number <= rows / 2; ++number)
        model.AddRow(Numbered(number));
    // The model holds the rows at once; the view hears of them later, all in one batch.
    QCOMPARE(model.Count(), rows / 2);
    QCOMPARE(model.rowCount(), 0);
    QVERIFY(watched.Settled());
    QCOMPARE(watched.inserted.size(), 1);
    QCOMPARE(Shown(model), Held(model));

    for (int number = rows / 2 + 1; number <= rows; ++number)
        model.AddRow(Numbered(number));
    QCOMPARE(Held(model), held);
    QVERIFY(watched.Settled());
    QCOMPARE(Shown(model), held);
    QCOMPARE(watched.inserted.size(), 2);
    QCOMPARE(watched.removed.size(), 1);
    QCOMPARE(watched.removed.first().at(1).toInt(), removedRow);
    QCOMPARE(watched.removed.first().at(2).toInt(), removedRow + 3);
    QCOMPARE(watched.inserted.last().at(1).toInt(), insertedRow);
    QCOMPARE(watched.inserted.last().at(2).toInt() - watched.inserted.last().at(1).toInt(), 4);
    QVERIFY(model.Row(model.Count()).isEmpty());
    QVERIFY(model.Row(-1).isEmpty());
}

void TestBatchedRowModel::rowsPushedOutBetweenBatchesNeverReachTheView()
{
    Watched watched(10, Order::NewestFirst);
    BatchedRowModel &model = watched.model;
    for (int number = 1; number <= 3; ++number)
        model.AddRow(Numbered(number));
    model.Publish();
    QCOMPARE(Shown(model), Range(3, 1));

    // 25 rows before the next batch: the three shown rows and the first fifteen new ones are gone before any
    // view could show them.
    for (int number = 4; number <= 28; ++number)
        model.AddRow(Numbered(number));
    QCOMPARE(Held(model), Range(28, 19));
    QVERIFY(watched.Settled());
    QCOMPARE(Shown(model), Range(28, 19));
    QCOMPARE(watched.inserted.size(), 2);
    QCOMPARE(watched.inserted.last().at(2).toInt(), 9);
}

void TestBatchedRowModel::aFullListChangesTextsInPlace_data()
{
    QTest::addColumn<int>("order");
    QTest::addColumn<QStringList>("shown");

    QTest::newRow("newest first") << int(Order::NewestFirst) << Range(7, 3);
    QTest::newRow("oldest first") << int(Order::OldestFirst) << Range(3, 7);
}

void TestBatchedRowModel::aFullListChangesTextsInPlace()
{
    QFETCH(int, order);
    QFETCH(QStringList, shown);

    Watched watched(5, Order(order));
    BatchedRowModel &model = watched.model;
    for (int number = 1; number <= 5; ++number)
        model.AddRow(Numbered(number));
    model.Publish();
    model.AppendToNewest({"reply"});
    model.AddRow(Numbered(6));
    model.AddRow(Numbered(7));
    QVERIFY(QTest::qWaitFor([&] { return Shown(model) == shown; }, BoundMs));
    // One repaint of every row: nothing inserted or removed, nothing to lay out anew.
    QCOMPARE(watched.inserted.size(), 1);
    QCOMPARE(watched.removed.size(), 0);
    QCOMPARE(watched.changed.size(), 1);
    QCOMPARE(watched.changed.first().at(0).toModelIndex(), model.index(0, 0));
    QCOMPARE(watched.changed.first().at(1).toModelIndex(), model.index(4, 2));
    QCOMPARE(Held(model), shown);
    QCOMPARE(model.Row(2), QStringList({"#5", "reply"}));
}

void TestBatchedRowModel::cellsAddedToAShownRow()
{
    Watched watched(5, Order::NewestFirst);
    BatchedRowModel &model = watched.model;
    model.AppendToNewest({"lost"}); // no row yet: nothing happens
    QCOMPARE(model.Count(), 0);

    model.AddRow({"$01M"});
    model.Publish();
    // A shown row that gets its response is repainted with the next batch, after the rows that came since.
    model.AppendToNewest({"!014017", "9:5:7.45"});
    model.AddRow({"$02M"});
    QCOMPARE(model.Row(1), QStringList({"$01M", "!014017", "9:5:7.45"}));
    QVERIFY(watched.Settled());
    QCOMPARE(watched.changed.size(), 1);
    QCOMPARE(watched.changed.first().at(0).toModelIndex().row(), 1);
    QCOMPARE(model.data(model.index(1, 1), Qt::DisplayRole).toString(), QString("!014017"));

    // A row that the view has not seen yet needs no repaint of its own.
    model.AddRow({"$03M"});
    model.AppendToNewest({"!03", "9:5:7.245", "Time out !", "9:5:7.345"});
    QVERIFY(watched.Settled());
    QCOMPARE(watched.changed.size(), 1);
    QCOMPARE(model.Row(0).size(), 5);
    QCOMPARE(model.data(model.index(0, 2), Qt::DisplayRole).toString(), QString("9:5:7.245"));
    QCOMPARE(model.data(model.index(0, 3), Qt::DisplayRole), QVariant());
}

void TestBatchedRowModel::clearEmptiesModelAndView()
{
    Watched watched(4, Order::OldestFirst);
    BatchedRowModel &model = watched.model;
    for (int number = 1; number <= 3; ++number)
        model.AddRow(Numbered(number));
    model.Publish();
    model.AddRow(Numbered(4));
    model.Clear();
    QCOMPARE(model.Count(), 0);
    QCOMPARE(model.rowCount(), 0);
    // Nothing of the rows before the clear comes back with a later batch.
    model.AddRow(Numbered(5));
    QVERIFY(watched.Settled());
    QCOMPARE(Shown(model), QStringList{"#5"});
}

void TestBatchedRowModel::commandLogColumns()
{
    CommandLogModel log;
    QCOMPARE(log.columnCount(), 3);
    QCOMPARE(log.headerData(0, Qt::Horizontal, Qt::DisplayRole).toString(), QString("Command : "));
    QCOMPARE(log.headerData(1, Qt::Horizontal, Qt::DisplayRole).toString(), QString("Response :"));
    QCOMPARE(log.headerData(2, Qt::Horizontal, Qt::DisplayRole).toString(), QString("Time :"));
    QCOMPARE(log.headerData(3, Qt::Horizontal, Qt::DisplayRole), QVariant());
    QCOMPARE(log.Capacity(), CommandLogModel::MaxRows);
}

void TestBatchedRowModel::logTimeOfDayIsTheLocalTime()
{
    // Three hours east of UTC, so that a time stamp in UTC or with a stale offset shows.
    qputenv("TZ", "XYZ-3");
    const QTime local = QTime::currentTime();
    const QTime logged = LogTimeOfDay();
    const QTime localAfter = QTime::currentTime();
    const int dayMs = 24 * 60 * 60 * 1000;
    const int sinceBefore = (local.msecsTo(logged) + dayMs) % dayMs;
    const int untilAfter = (logged.msecsTo(localAfter) + dayMs) % dayMs;
    // logged lies between the two readings of the local clock (midnight between them included).
    QVERIFY2(sinceBefore <= 1000 && untilAfter <= 1000,
             qPrintable(local.toString() + " " + logged.toString() + " " + localAfter.toString()));
    QCOMPARE(QDateTime::currentDateTime().offsetFromUtc(), 3 * 3600);
}

QTEST_GUILESS_MAIN(TestBatchedRowModel)
#include "tst_batched_row_model.moc"
