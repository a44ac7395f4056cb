// GraphicsItemLifetimeManager.h: the process-wide registry of living shape items.
#pragma once

#include <QHash>
#include <QObject>
#include <QReadWriteLock>

class GraphicsItemBase;

// Shapes register themselves on construction and leave on destruction, so that code holding a
// bare item pointer from a signal can tell whether the item still exists.
class GraphicsItemLifetimeManager : public QObject
{
    Q_OBJECT

public:
    // Created on the first call. Any thread.
    static GraphicsItemLifetimeManager *instance();

    // False for null; otherwise the item is (again) marked alive. Any thread.
    bool registerItem(GraphicsItemBase *item);
    // Whether the item was registered; false for null. Any thread.
    bool unregisterItem(GraphicsItemBase *item);
    // Whether the item is registered and alive. Any thread.
    bool isRegistered(GraphicsItemBase *item) const;

signals:
    // Emitted by an item's destructor before and after it leaves the registry (GUI thread). The
    // pointer may only be compared, never dereferenced.
    void itemAboutToBeDeleted(GraphicsItemBase *item);
    void itemDeleted(GraphicsItemBase *item);

private:
    GraphicsItemLifetimeManager();

    mutable QReadWriteLock m_lock; // protects m_items
    QHash<GraphicsItemBase *, bool> m_items;
};
