// EllipseItem.cpp: two-corner ellipses.
#include "shapes/EllipseItem.h"

#include "shapes/LabelItem.h"
#include "shapes/ShapeTypes.h"

EllipseItem::EllipseItem(LineDataBase::Ptr data, QGraphicsItem *parent)
    : RectItem(std::move(data), parent)
{
    m_toolType = ShapeTypes::Ellipse;
}

QPainterPath EllipseItem::outline() const
{
    QPainterPath path;
    path.addEllipse(rectF().normalized());
    return path;
}

void EllipseItem::updateLabel()
{
    if (points().isEmpty())
        return;
    const QRectF r = rectF();
    placeLabelBeside(
        r, QStringLiteral("a: %1\nb: %2\n")
               .arg(formatLength(qAbs(r.width()) / 2), formatLength(qAbs(r.height()) / 2)));
}
