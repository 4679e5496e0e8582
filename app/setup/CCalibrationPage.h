#pragma once

#include "app/setup/CKelSetUpPage.h"
#include "setup/CalibrationPages.h"

class QLabel;
class QLineEdit;

namespace quarnex {

class CCalibrationPlot;

// The Calibration page: the rows of the current calibration type, and beside them the live
// gross weight, the input signal in mV/V and the information line. In edit mode the page reads
// the measurement every 100 ms while it is the current tab; in show mode it refreshes like every
// other page. Its ">>" open, through the one editor dispatcher, the choice dialog with the
// new-calibration warning, the number dialog (calibration points and "Set zero:" wait for the
// instrument to measure) or the shunt dialog; no read of the page reaches the bus while one of
// them is up.
class CCalibrationPage : public CKelSetUpPage {
    Q_OBJECT
public:
    // The rows and the live values come from the source.
    CCalibrationPage(SetupSource& source, bool editMode, QWidget* parent = nullptr);

    CalibrationLive& Live() { return static_cast<CalibrationLive&>(Logic()); }
    QLineEdit* GrossField() const { return gross_; }
    QLineEdit* SignalField() const { return signal_; }

protected:
    void Render() override;

private:
    QLineEdit* gross_;
    QLineEdit* signal_;
    QLabel* info_;
    CCalibrationPlot* plot_;
};

} // namespace quarnex
