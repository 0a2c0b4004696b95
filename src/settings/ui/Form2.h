#pragma once

#include "platform/CaptureTypes.h"

#include <QDialog>

class Form2Host;
class PlanFields;
class Settings;
class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;

/// The settings dialog "Quelmint Settings": reads the in-memory settings when it opens and
/// writes them back, restarting capture on a newly chosen adapter, on OK. Show it modally.
class Form2 final : public QDialog {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(Form2)

public:
    /// One row of the connection-type list: its text and its code (bytes per second / 1000).
    struct ConnectionType {
        const char* text;
        qint32 code;
    };
    /// Text of the custom row of Combo2.
    static constexpr char kCustomSpeed[] = "Custom connection speed";
    /// The rows of Combo2 in order; the last is the custom row with code -1.
    static const QList<ConnectionType>& connectionTypeTable();
    /// The text of an adapter's row in Combo1.
    static QString adapterRowText(const Adapter& adapter);

    /// Builds the dialog and loads the current settings of host into it.
    explicit Form2(Form2Host& host, QWidget* parent = nullptr);

    /// Lists the capture component's adapters that can be monitored in Combo1 and selects the
    /// one being watched (at first start, the one that carries the default route).
    void fillAdapters();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildControls();
    void load();
    void okClicked();
    /// Steps 1 to 8 of OK; false when the dialog must stay open without an error box.
    bool applyAdapterAndSettings();
    /// Step 1: the adapter.
    void applyAdapter();
    /// Steps 2 to 8: the values of the dialog into the settings (announced by the caller).
    void applySettings(Settings& s);
    void refreshClicked();
    void connectionTypeChanged();
    /// At first start: the connection type of the adapter's link speed, when the kernel knows
    /// it and the user has not chosen a type.
    void adapterChosen();

    Form2Host& host_;
    /// The adapters as listed in Combo1 (those that can be monitored), so a refresh elsewhere
    /// cannot shift the rows.
    QList<Adapter> listed_;
    /// No adapter was stored: the connection type follows the adapter chosen.
    bool firstStart_ = false;
    /// The user chose a connection type; it stays.
    bool typeChosen_ = false;

    QGroupBox* fraAdapter = nullptr;
    QComboBox* Combo1 = nullptr;
    QPushButton* Command3 = nullptr;
    QGroupBox* fraGraphScaling = nullptr;
    QComboBox* Combo2 = nullptr;
    QLineEdit* Text1 = nullptr;
    QLabel* Label3 = nullptr;
    QComboBox* Combo4 = nullptr;
    QGroupBox* fraDisplayUnits = nullptr;
    QComboBox* Combo3 = nullptr;
    QComboBox* Combo5 = nullptr;
    QGroupBox* fraWindow = nullptr;
    QCheckBox* Check3 = nullptr;
    QLabel* Label6 = nullptr;
    QCheckBox* Check2 = nullptr;
    QLabel* Label5 = nullptr;
    QCheckBox* Check4 = nullptr; ///< "Start at log-on"
    QLabel* Label12 = nullptr;
    QGroupBox* fraDisplay = nullptr;
    QCheckBox* Check1 = nullptr;
    QLabel* Label11 = nullptr;
    QCheckBox* Check5 = nullptr; ///< "Count IPv6 traffic"
    QLabel* Label13 = nullptr;
    QLineEdit* Text2 = nullptr;
    QLineEdit* Text4 = nullptr;
    QLineEdit* Text3 = nullptr;
    PlanFields* fraPlan = nullptr; ///< checked: there is a plan
    QPushButton* Command1 = nullptr;
    QPushButton* Command2 = nullptr;
};
