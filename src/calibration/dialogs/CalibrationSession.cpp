// CalibrationSession.cpp: ruler line, dialog and clean-up of one calibration.
#include "calibration/dialogs/CalibrationSession.h"

#include "calibration/CalibrationData.h"
#include "calibration/dialogs/CalibrationDialog.h"
#include "canvas/MeasureGraphicsViewBusiness.h"
#include "shapes/GraphicsItemLifetimeManager.h"
#include "shapes/LabelItem.h"
#include "shapes/StraightLineItem.h"

#include <QLineF>
#include <QScreen>

CalibrationSession::CalibrationSession(MeasureGraphicsViewBusiness *view,
                                       CalibrationData *calibration, QWidget *dialogParent)
    : QObject(view)
    , m_view(view)
    , m_calibration(calibration)
    , m_dialogParent(dialogParent)
{}

CalibrationSession::~CalibrationSession()
{
    m_finished = true; // the owner is going away: nothing more is announced
    if (m_dialog) {
        m_dialog->disconnect(this);
        m_dialog->close();
        m_dialog->deleteLater();
    }
    removeRuler();
}

bool CalibrationSession::start()
{
    if (!m_view || !m_calibration || m_view->imageSize().isEmpty() || m_started)
        return false;
    m_started = true;
    // Centred under the middle of the viewport, two thirds of the displayed width long.
    QWidget *viewport = m_view->viewport();
    const QPointF centre = m_view->mapToScene(viewport->rect().center());
    const QRectF picture(QPointF(0, 0), QSizeF(m_view->imageSize()));
    const double shownWidth =
        m_view->mapToScene(viewport->rect()).boundingRect().intersected(picture).width();
    const double length = shownWidth > 0 ? 2.0 * shownWidth / 3.0 : 200.0;
    StraightLineItem *line = m_view->createRulerLine(centre, length, false);
    m_rulerId = line->lineData()->id;

    m_dialog = new CalibrationDialog(m_calibration, m_dialogParent);
    m_dialog->setAttribute(Qt::WA_DeleteOnClose);
    connect(m_view, &MeasureGraphicsViewBusiness::sigScaleLengthChanged, this,
            &CalibrationSession::onScaleLengthChanged);
    // A new picture takes the ruler down with its scene without a word: look again then.
    connect(GraphicsItemLifetimeManager::instance(),
            &GraphicsItemLifetimeManager::itemAboutToBeDeleted, this,
            &CalibrationSession::onScaleLengthChanged);
    connect(m_dialog, &CalibrationDialog::actualLengthChanged, this,
            &CalibrationSession::onActualLengthChanged);
    connect(m_dialog, &QDialog::finished, this, &CalibrationSession::onDialogFinished);
    onScaleLengthChanged();
    placeDialogBesideRuler();
    m_dialog->show();
    return true;
}

void CalibrationSession::placeDialogBesideRuler()
{
    // Centred over the window, the dialog would hide the middle of the ruler the user has to
    // drag. It goes below the ruler, or above it where there is no room below, centred over the
    // view and kept on the screen; where neither fits, Qt's placement stays.
    StraightLineItem *line = ruler();
    QWidget *viewport = m_view->viewport();
    if (!line || !viewport->screen() || line->scenePoints().size() < 2)
        return;
    QRectF scene = QRectF(line->scenePoints().at(0), line->scenePoints().at(1)).normalized();
    if (line->labelItem())
        scene |= line->labelItem()->sceneBoundingRect();
    // Room for the handles and a gap to the window frame's shadow.
    const int gap = 24;
    const QRect inView = m_view->mapFromScene(scene).boundingRect();
    const QRect onScreen(viewport->mapToGlobal(inView.topLeft()), inView.size());
    const QRect screen = viewport->screen()->availableGeometry();
    // The window manager's title bar above the dialog is not known before it is shown.
    const int titleBar = 32;
    const QSize size = m_dialog->size() + QSize(0, titleBar);
    const int x = qBound(screen.left(),
                         viewport->mapToGlobal(viewport->rect().center()).x() - size.width() / 2,
                         qMax(screen.left(), screen.right() + 1 - size.width()));
    const int below = onScreen.bottom() + gap;
    const int above = onScreen.top() - gap - size.height();
    if (below + size.height() <= screen.bottom() + 1)
        m_dialog->move(x, below);
    else if (above >= screen.top())
        m_dialog->move(x, above);
}

StraightLineItem *CalibrationSession::ruler() const
{
    if (!m_view || m_rulerId.isEmpty())
        return nullptr;
    return dynamic_cast<StraightLineItem *>(m_view->itemByName(m_rulerId));
}

QString CalibrationSession::rulerLabel(double pixels, double actualLength, const QString &unit)
{
    if (actualLength > 0 && !unit.isEmpty())
        return QStringLiteral("L: %1 px / %2 %3")
            .arg(pixels, 0, 'f', 1)
            .arg(actualLength, 0, 'f', 2)
            .arg(unit);
    return QStringLiteral("L: %1 px").arg(pixels, 0, 'f', 1);
}

void CalibrationSession::onScaleLengthChanged()
{
    // Whatever line moved, the length is the ruler's own; a ruler that is gone measures 0.
    StraightLineItem *line = ruler();
    const double length =
        (line && line->points().size() >= 2) ? QLineF(line->point(0), line->point(1)).length() : 0;
    if (m_dialog)
        m_dialog->updatePixelLength(length);
    relabel();
}

void CalibrationSession::onActualLengthChanged(double, double actualLength, const QString &unit)
{
    m_actualLength = actualLength;
    m_unit = unit;
    relabel();
}

void CalibrationSession::relabel()
{
    // Through the view, so that the text stays when the user drags the ruler's handles.
    const double pixels = m_view->linePixelLength(m_rulerId);
    if (pixels >= 0.0)
        m_view->setLineLabelText(m_rulerId, rulerLabel(pixels, m_actualLength, m_unit));
}

void CalibrationSession::removeRuler()
{
    if (StraightLineItem *line = ruler())
        m_view->removeLine(line);
    m_rulerId.clear();
}

void CalibrationSession::onDialogFinished(int result)
{
    if (m_finished)
        return;
    m_finished = true;
    const bool accepted = result == QDialog::Accepted && m_calibration && m_dialog &&
                          !m_dialog->acceptedName().isEmpty();
    if (accepted) {
        // The new magnification (appended last by the dialog) becomes the current one.
        const QList<CalibrationData::Magnification> list = m_calibration->magnifications();
        for (int i = list.size() - 1; i >= 0; --i) {
            if (list[i].name == m_dialog->acceptedName()) {
                m_calibration->setCurrentIndex(i);
                break;
            }
        }
        m_calibration->saveToSettings();
    }
    if (m_view)
        disconnect(m_view, nullptr, this, nullptr);
    disconnect(GraphicsItemLifetimeManager::instance(), nullptr, this, nullptr);
    removeRuler();
    emit finished(accepted);
}
