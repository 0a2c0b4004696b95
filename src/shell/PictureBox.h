#pragma once

#include <QFrame>

class QImage;

/// A picture control that shows an off-screen image drawn elsewhere: each paint is one block
/// copy of the image into the area inside the border; the image is never drawn here.
class PictureBox final : public QFrame {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(PictureBox)

public:
    /// border: width of the sunken border around the image (0 for none).
    explicit PictureBox(int border, QWidget* parent = nullptr);

    /// The image to show; it must outlive the control or be replaced by null first. Nothing is
    /// shown (black) while there is none.
    void setImage(const QImage* image);
    const QImage* image() const { return image_; }
    /// The timer's copy to the screen: repaints the image when it changed since it was last
    /// painted. Covered and uncovered parts are repainted by the window system as ever.
    void refresh();

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    const QImage* image_ = nullptr;
    qint64 paintedKey_ = 0;
};
