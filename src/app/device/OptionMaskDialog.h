#pragma once

#include <QDialog>
#include <array>

class QCheckBox;

namespace korvex {

class OptionMaskState;

// The option mask: 24 check boxes (control ids kFirstBox onwards) whose bits go to the device in
// every live reply while the dialog is open. Opening marks the mask present;
// every click rebuilds it from all 24 boxes; when the dialog has returned
// the mask is absent again (and 0).
class OptionMaskDialog : public QDialog {
    Q_OBJECT
public:
    static constexpr int kFirstBox = 1048;
    static constexpr int kBoxCount = 24;

    OptionMaskDialog(OptionMaskState& state, QWidget* parent = nullptr);
    ~OptionMaskDialog() override;

    // The box with control id `id` (kFirstBox to kFirstBox + kBoxCount - 1), or nullptr.
    QCheckBox* Box(int id) const;

private:
    void Rebuild();

    OptionMaskState& state;
    std::array<QCheckBox*, kBoxCount> boxes{};
};

} // namespace korvex
