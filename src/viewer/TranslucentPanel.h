#pragma once

#include <QWidget>

class QGraphicsOpacityEffect;
class QPropertyAnimation;

// A floating panel over the image: a rounded dark translucent plate with a faint light rim,
// readable over bright and dark photos alike, that fades in and out as a whole (children
// included). While fully faded out it lets the pointer through to what lies below.
class TranslucentPanel : public QWidget
{
    Q_OBJECT

public:
    static constexpr double cornerRadius = 12;

    explicit TranslucentPanel(QWidget* parent = nullptr);

    // The panel's opacity now, 0 to 1.
    double alpha() const;
    // Where the running fade goes, or the opacity when none runs.
    double targetAlpha() const { return m_targetAlpha; }
    // Jumps to `alpha`, stopping any fade.
    void setAlpha(double alpha);
    // Fades from the current opacity to `alpha` in `milliseconds`; `finished` runs when the fade
    // completes (not when another fade or setAlpha() replaces it).
    void fadeTo(double alpha, int milliseconds, std::function<void()> finished = {});

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void applyAlpha(double alpha);

    QGraphicsOpacityEffect* m_opacityEffect;
    QPropertyAnimation* m_animation;
    double m_targetAlpha = 1;
    // Bumped by every new fade, so a replaced fade's completion does nothing.
    quint64 m_fadeGeneration = 0;
};
