// LineDataRegistry.h: the current tool type and the records of the current drawing.
#pragma once

#include "model/LineDataBase.h"

#include <QList>
#include <QMutex>

// One process-wide object, created on first use. Any thread.
class LineDataRegistry
{
public:
    static constexpr int kHandTool = 2;
    static constexpr int kSelectionTool = 40;

    static LineDataRegistry *instance();

    int toolType() const;
    void setToolType(int type);

    void addLine(const LineDataBase::Ptr &record);
    // Puts the record at `index` (clamped to the list), where an undone removal found it.
    void insertLine(int index, const LineDataBase::Ptr &record);
    // Removes every record with this id; returns whether one was there.
    bool removeLine(const QString &id);
    LineDataBase::Ptr line(const QString &id) const;
    QList<LineDataBase::Ptr> lines() const;
    void clear();

private:
    LineDataRegistry() = default;

    mutable QMutex m_mutex; // protects m_toolType and m_lines
    int m_toolType = kHandTool;
    QList<LineDataBase::Ptr> m_lines;
};
