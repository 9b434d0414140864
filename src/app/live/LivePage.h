#pragma once

#include <QWidget>
#include <cstdint>

class QLabel;

namespace korvex {

// The page of the live tab until the live pictures arrive in a later
// release: it says so and points to the editor.
class LivePage : public QWidget {
    Q_OBJECT
public:
    explicit LivePage(QWidget* parent = nullptr);
    // The device the user picked in the explorer (network byte order).
    void SetTarget(uint32_t address);

private:
    QLabel* target;
};

} // namespace korvex
