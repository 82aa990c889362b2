#pragma once

#include <cstdint>
#include <memory>

#include <QDialog>

namespace Ui {
class OptionForm;
}
struct TSettings;

// "Options": the link-name texts, the file manager's verb, what a dropped
// folder stands for, the worker's priority, and the hash kinds and folders of
// both networks.
class TOptionForm final : public QDialog
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TOptionForm)

public:
    // Looks up once whether the file manager's verb is there.
    explicit TOptionForm(QWidget *parent = nullptr);
    ~TOptionForm() override;

    // The priority code of the chosen item: 0 "Low", 3 "Normal", 5 "High";
    // setting shows 0 as "Low", 5 as "High" and any other code as "Normal".
    std::uint8_t PriorityCode() const;
    void SetPriorityCode(std::uint8_t code);

    // The controls from settings (the verb's box is left as it is), the
    // "General" page first, with the focus on its tab.
    void Load(const TSettings &settings);
    // The controls into settings, texts exactly as they stand.
    void Store(TSettings &settings) const;
    bool DonkeyActivated() const;
    bool FileSpreeActivated() const;

    void DefautButtonClick();
    // The folder picker for a folder field, opening at the folder the field
    // names, or at the home folder when it names none.
    void BitBtn1Click();
    void BitBtn2Click();
    // OK: writes or removes the verb, then closes with OK.
    void Button1Click();

private:
    std::unique_ptr<Ui::OptionForm> m_ui;
};
