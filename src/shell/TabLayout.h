#pragma once

#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>

class QWidget;

/// What choosing a tab of the main window does: the window's outer width, the tab strip's
/// width, the widths that follow the strip, and which controls each tab shows. Controls are
/// found by objectName among the window's descendants at every switch, so a control that does
/// not exist (yet) is skipped and one added later is handled from the next switch on. Hidden
/// controls keep being updated by their owners; the switch only shows and hides them, it never
/// moves one.
class TabLayout final : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TabLayout)

public:
    enum Tab { Bytes = 1, Packets = 2, Log = 3 };

    /// One row of the visibility table: the controls and the tabs that show them.
    struct Row {
        QStringList names;
        bool bytes, packets, log;
        bool shownOn(int tab) const {
            return tab == Bytes ? bytes : tab == Packets ? packets : log;
        }
    };
    /// A control whose width follows the tab strip: width = strip width + offset.
    struct WidthRule {
        QString name;
        int offset;
    };

    /// Outer window widths in twips and tab strip widths in pixels.
    static constexpr int kNarrowTwips = 5240;
    static constexpr int kWideTwips = 6640;
    static constexpr int kNarrowStrip = 331;
    static constexpr int kWideStrip = 425;
    static constexpr int kTwipsPerPixel = 15;

    /// The visibility table, every row in one place.
    static const QList<Row>& visibilityTable();
    /// Shows and hides the descendants of root by the visibility table's column for tab 1..3.
    static void applyVisibility(QWidget& root, int tab);
    /// The controls whose width follows the strip.
    static const QList<WidthRule>& widthRules();
    /// Twips to pixels at 96 dots per inch, to the nearest pixel.
    static int pixels(int twips) { return (twips + kTwipsPerPixel / 2) / kTwipsPerPixel; }

    /// window: the main window; its descendant "TabStrip1" is the tab strip. copyGraph runs
    /// when "Bytes" is chosen, so the graph shows its current images at once.
    explicit TabLayout(QWidget& window, std::function<void()> copyGraph = {});
    ~TabLayout() override;

    /// The switch for tab index 1..3; any other index only sets the widths that follow the
    /// strip from its current width.
    void apply(int index);

protected:
    /// The window manager's frame is known only once the window is shown (or moved into its
    /// frame): the outer width is set again then.
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void fitWindowWidth();

    int outerWidth_ = 0;
    QWidget& window_;
    std::function<void()> copyGraph_;
};
