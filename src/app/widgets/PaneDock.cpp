#include "app/widgets/PaneDock.h"

#include <QCloseEvent>

namespace korvex {

PaneDock::PaneDock(const QString& title, QWidget* parent) : QDockWidget(title, parent) {
    setFeatures(QDockWidget::DockWidgetClosable | QDockWidget::DockWidgetMovable | QDockWidget::DockWidgetFloatable);
}

void PaneDock::closeEvent(QCloseEvent* event) {
    QDockWidget::closeEvent(event);
    if (event->isAccepted() && onClosed)
        onClosed();
}

} // namespace korvex
