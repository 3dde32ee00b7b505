#pragma once

#include <QAbstractTableModel>
#include <QTimer>
#include <QWidget>
#include <functional>

#include "trace/trace_log.h"

class QLabel;
class QPushButton;
class QTableView;

namespace trv {

class Link;
class Prompts;

namespace trace {

// The trace's rows for a view. It catches up with the log in batches, so recording costs
// the exchange no painting of its own.
class TraceModel final : public QAbstractTableModel {
    Q_OBJECT
public:
    enum Column { Since, Clock, Direction, Meaning, Hex, Text, ColumnCount };

    explicit TraceModel(TraceLog& log, QObject* parent = nullptr);
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    // Brings the rows up to the log; true when rows were added.
    bool sync();
    const Row& rowAt(int row) const { return m_log.row(m_first + quint64(row)); }

private:
    TraceLog& m_log;
    quint64 m_first = 0;
    quint64 m_end = 0;
};

}  // namespace trace

// "Trafic série": every run of bytes between the program and the board while it is open,
// grouped by operation, in words.
class TrafficMonitor final : public QWidget {
    Q_OBJECT
public:
    TrafficMonitor(Link& link, Prompts& prompts, QWidget* parent = nullptr);
    ~TrafficMonitor() override;

    QSize sizeHint() const override;

    trace::TraceLog& log() { return m_log; }
    trace::TraceModel& model() { return m_model; }
    QTableView* view() const { return m_view; }
    QPushButton* pauseButton() const { return m_pause; }
    QPushButton* clearButton() const { return m_clear; }
    QPushButton* saveButton() const { return m_save; }

    void setPaused(bool paused);
    void clear();
    void save();
    // Shows what the log holds now, without waiting for the next refresh.
    void refresh();

private:
    Link& m_link;
    Prompts& m_prompts;
    trace::TraceLog m_log;
    trace::TraceModel m_model;
    QTimer m_refresh;
    QTableView* m_view = nullptr;
    QPushButton* m_pause = nullptr;
    QPushButton* m_clear = nullptr;
    QPushButton* m_save = nullptr;
    QLabel* m_count = nullptr;
    int m_columnsWidth = 0;  // every column at the width it opens with
};

}  // namespace trv
