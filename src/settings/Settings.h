#pragma once

#include <QFlags>
#include <QList>
#include <QObject>
#include <QSize>
#include <QString>
#include <QtGlobal>

class SettingsStore;

/// The stored settings, their defaults, and their reading and writing. Whoever changes
/// values while the program runs (the settings dialog, the toolbar) announces them afterwards;
/// the session and the windows follow the announcement, nobody polls the values.
class Settings final : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(Settings)

public:
    /// What an announcement is about.
    enum Change {
        Switches = 1, ///< displayTCP, displayUDP, displayICMP (the toolbar)
        Display = 2,  ///< units, graph, list times, window options, the data plan (the settings
                      ///< dialog)
    };
    Q_DECLARE_FLAGS(Changes, Change)

    /// Application name in the store.
    static constexpr char kApplication[] = "Quelmint";
    /// Section name in the store.
    static constexpr char kSection[] = "settings";
    /// Graph full scale used when none (or no usable one) is stored: "384 kbps (ADSL, Cable
    /// Modem)".
    static constexpr double kDefaultBandwidth = 48000;
    /// Largest data plan allowance taken as meant (1 PiB); a larger stored one is no plan.
    static constexpr qint64 kLargestPlanAllowance = qint64(1) << 50;
    /// Latest day a plan period can start on: every month has it.
    static constexpr qint32 kLatestPlanStartDay = 28;

    /// A stored text that could not be used; its key took its default.
    struct LoadError {
        QString key;         ///< the store's key, e.g. "DisplayUnit"
        QString text;        ///< the stored text
        QString description; ///< names the key and its text, for "Error in Load:"
    };

    /// Every value at its default.
    explicit Settings(QObject* parent = nullptr);

    /// Sets every value to its default.
    void setDefaults();

    /// Reads the values in table order. A key that is absent takes its default; a text
    /// that does not convert, or a list position out of range, takes the default too, is listed
    /// in the result and the remaining keys are still read.
    QList<LoadError> loadSettings(const SettingsStore& store);
    /// Writes the values in table order, each on its own; returns the keys that failed.
    QStringList saveSettings(SettingsStore& store) const;

    /// The descriptions of errors, one per line (CR LF), for one message box.
    static QString describe(const QList<LoadError>& errors);
    /// What to say when the capture component rejects a filter: the filter (its first 200
    /// characters) and the component's reason.
    static QString filterRejected(const QString& filter, const QString& reason,
                                  bool stored = false);
    /// The stored text of a Boolean.
    static QString booleanText(bool value);
    /// The stored text of the bandwidth: the shortest plain decimal (no exponent) that reads
    /// back to the same number.
    static QString bandwidthText(double value);

    /// Tells everyone who follows the settings that values of this kind were changed.
    void announce(Changes what) { emit changed(what); }

    bool displayTCP;                 ///< "DisplayTCP": TCP frames counted and listed
    bool displayUDP;                 ///< "DisplayUDP": UDP frames counted and listed
    bool displayICMP;                ///< "DisplayICMP": ICMP and IGMP frames counted and listed
    QString gInterfaceToWatch;       ///< "Interface": Name of the adapter to monitor
    QString gDescOfInterfaceToWatch; ///< "InterfaceDesc": its Description
    double gBandwidth;               ///< "Bandwidth": graph full scale in bytes per second
    bool gCloseToTray;               ///< "CloseToTray": closing only hides the window
    bool gStartMinimized;            ///< "StartMinimized": start hidden in the notification area
    qint32 gDisplayUnit;             ///< "DisplayUnit": 0 B, 1 KB, 2 MB, 3 automatic
    qint32 gSpeedUnit;               ///< "SpeedUnit": 0 kbps, 1 KB/s
    qint32 gGraphStyle;              ///< "GraphStyle": 0 wave, 1 columns
    QString gFilterString;           ///< "FilterString": capture filter
    qint32 gRemoveFromListTime;  ///< "RemoveFromListTime": seconds until a quiet row goes; 0 never
    qint32 gHiliteNewPacketTime; ///< "HiliteNewPacketTime": seconds a row stays highlighted
    bool gResetStatsAtNewDay;    ///< "ResetStatsAtNewDay": statistics reset at a new day
    bool gStartAtLogon;          ///< "StartAtLogon": the log-on entry is kept (else removed)
    bool gCountIPv6;             ///< "CountIPv6": IPv6 frames counted like IPv4 (else only noted)
    qint64 gPlanAllowance; ///< "PlanAllowance": bytes received and sent per plan period; 0 none
    qint32 gPlanStartDay;  ///< "PlanStartDay": day of the month a plan period starts, 1 to 28
    QSize gChartSize;      ///< "ChartSize": the usage chart window's size ("WxH"); empty: its own

signals:
    /// Values were changed while the program runs (not sent for loadSettings()).
    void changed(Settings::Changes what);
};

Q_DECLARE_OPERATORS_FOR_FLAGS(Settings::Changes)
