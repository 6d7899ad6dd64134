#pragma once

#include <QSlider>
#include <functional>

// A horizontal slider over a range of doubles. The handle moves in fine steps (stepCount
// across the range), but the value is kept exactly as it was set, so value() returns what
// setValue() stored rather than the nearest step.
//
// Only the user's changes are reported, one onValueChanged per change. A drag of the handle is
// one gesture: its first change, its later changes and the release are told apart by
// lastChange(), read inside the callback, so that a drag can become one undo step.
class ValueSlider : public QSlider
{
    Q_OBJECT

public:
    static constexpr int stepCount = 1000;

    // Where the change being reported falls within the user's gesture.
    enum class Change
    {
        // A change on its own: a click on the track, the wheel, a key.
        single,
        // The first change of a drag of the handle.
        dragStarted,
        // A later change of the same drag.
        dragged,
        // The handle was let go after a drag that changed the value (the value is unchanged).
        released
    };

    // `initial` is clamped into [minimum, maximum].
    ValueSlider(double minimum, double maximum, double initial, QWidget* parent = nullptr);

    // Called for every change the user makes, with the new value.
    std::function<void(double value)> onValueChanged;

    double minimumValue() const { return m_minimum; }
    double maximumValue() const { return m_maximum; }
    double value() const { return m_value; }
    // Clamps `value` into the range and moves the handle there without calling onValueChanged.
    // Values that are not finite are ignored.
    void setValue(double value);
    // What a user's single change to `value` does: stores it as setValue() does, then calls
    // onValueChanged.
    void setValueFromUser(double value);
    Change lastChange() const { return m_lastChange; }

private:
    int positionFor(double value) const;
    void handleValueChanged(int position);
    void handleReleased();
    void report(Change change);

    double m_minimum;
    double m_maximum;
    double m_value;
    Change m_lastChange = Change::single;
    // The current drag has changed the value at least once.
    bool m_isDragChanging = false;
    bool m_isSettingPosition = false;
};
