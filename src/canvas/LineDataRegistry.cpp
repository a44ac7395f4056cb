// LineDataRegistry.cpp: the process-wide record list and tool type.
#include "canvas/LineDataRegistry.h"

#include <algorithm>

LineDataRegistry *LineDataRegistry::instance()
{
    static LineDataRegistry registry; // thread-safe creation on first use
    return &registry;
}

int LineDataRegistry::toolType() const
{
    QMutexLocker locker(&m_mutex);
    return m_toolType;
}

void LineDataRegistry::setToolType(int type)
{
    QMutexLocker locker(&m_mutex);
    m_toolType = type;
}

void LineDataRegistry::addLine(const LineDataBase::Ptr &record)
{
    if (!record)
        return;
    QMutexLocker locker(&m_mutex);
    m_lines.append(record);
}

void LineDataRegistry::insertLine(int index, const LineDataBase::Ptr &record)
{
    if (!record)
        return;
    QMutexLocker locker(&m_mutex);
    m_lines.insert(std::clamp(index, 0, m_lines.size()), record);
}

bool LineDataRegistry::removeLine(const QString &id)
{
    QMutexLocker locker(&m_mutex);
    const int before = m_lines.size();
    m_lines.erase(std::remove_if(m_lines.begin(), m_lines.end(),
                                 [&id](const LineDataBase::Ptr &r) { return r->id == id; }),
                  m_lines.end());
    return m_lines.size() != before;
}

LineDataBase::Ptr LineDataRegistry::line(const QString &id) const
{
    QMutexLocker locker(&m_mutex);
    for (const LineDataBase::Ptr &r : m_lines) {
        if (r->id == id)
            return r;
    }
    return nullptr;
}

QList<LineDataBase::Ptr> LineDataRegistry::lines() const
{
    QMutexLocker locker(&m_mutex);
    return m_lines;
}

void LineDataRegistry::clear()
{
    QMutexLocker locker(&m_mutex);
    m_lines.clear();
}
