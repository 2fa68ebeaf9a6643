#pragma once

// The question asked when the program closes while no store mode is chosen:
// where the settings are to be kept. Accepted stays false when the dialog is
// closed without a choice (its close box, Escape), and the program then
// stays open.
#include <QDialog>

#include <cstdint>

namespace vidora {

class TLinkEdit;

class TSavePrefsForm : public QDialog
{
    Q_OBJECT
public:
    explicit TSavePrefsForm(QWidget *parent = nullptr);

    // 0 registry, 1 portable file, 2 none: the store modes of the settings.
    std::uint8_t Choice = 2;
    bool Accepted = false;

    TLinkEdit *LinkEdit1 = nullptr;

private:
    void choose(std::uint8_t choice);
};

} // namespace vidora
