// GraphicsItemLifetimeManager.cpp: registry of living shape items.
#include "shapes/GraphicsItemLifetimeManager.h"

#include "shapes/GraphicsItemBase.h"

#include <QMutex>

GraphicsItemLifetimeManager::GraphicsItemLifetimeManager()
{
    qRegisterMetaType<GraphicsItemBase *>("GraphicsItemBase*");
}

GraphicsItemLifetimeManager *GraphicsItemLifetimeManager::instance()
{
    static QMutex creationMutex; // protects the creation of `manager`
    static GraphicsItemLifetimeManager *manager = nullptr;
    QMutexLocker locker(&creationMutex);
    if (!manager)
        manager = new GraphicsItemLifetimeManager;
    return manager;
}

bool GraphicsItemLifetimeManager::registerItem(GraphicsItemBase *item)
{
    if (!item)
        return false;
    QWriteLocker locker(&m_lock);
    m_items.insert(item, true);
    return true;
}

bool GraphicsItemLifetimeManager::unregisterItem(GraphicsItemBase *item)
{
    if (!item)
        return false;
    QWriteLocker locker(&m_lock);
    return m_items.remove(item) > 0;
}

bool GraphicsItemLifetimeManager::isRegistered(GraphicsItemBase *item) const
{
    QReadLocker locker(&m_lock);
    return m_items.value(item, false);
}
