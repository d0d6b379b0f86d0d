#pragma once

#include <QDialog>

class QCheckBox;
class QLineEdit;
class QPushButton;
class QSlider;

namespace tellavo {

class Module1;

// The options dialog: the threshold as digits and as a slider kept in step,
// the always-on-top choice (shown, not changeable here) and the warning text.
// Made and loaded from the current state at each opening; OK commits and
// saves, anything else changes nothing.
class FrmOpzioni : public QDialog {
    Q_OBJECT
public:
    explicit FrmOpzioni(Module1& module, QWidget* parent = nullptr);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildControls();
    void Form_Load();
    void textToSlider();
    void sliderToText();
    void cmdOK_Click();

    Module1& m_module;
    QLineEdit* m_txtAvvisareA = nullptr;
    QSlider* m_sliderPerc = nullptr;
    QCheckBox* m_chkSipp = nullptr;
    QLineEdit* m_txtMessaggio = nullptr;
    QPushButton* m_cmdOK = nullptr;
    QPushButton* m_cmdAnnulla = nullptr;
};

}  // namespace tellavo
