#pragma once

#include <QDockWidget>
#include <functional>

namespace korvex {

// A floating pane the user may also dock. Closing it with its window button
// only hides it and tells the frame, which clears the pane's toggle.
class PaneDock : public QDockWidget {
    Q_OBJECT
public:
    PaneDock(const QString& title, QWidget* parent = nullptr);
    void SetClosedHandler(std::function<void()> handler) { onClosed = std::move(handler); }

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    std::function<void()> onClosed;
};

} // namespace korvex
