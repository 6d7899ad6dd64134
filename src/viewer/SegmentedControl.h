#pragma once

#include <QList>
#include <QString>
#include <QWidget>
#include <functional>

class QButtonGroup;
class QToolButton;

// A row of mutually exclusive segments drawn as one rounded capsule, each segment a symbol or
// a short text with a tool tip. At most one segment is selected; -1 means none.
class SegmentedControl : public QWidget
{
    Q_OBJECT

public:
    struct Segment
    {
        // A symbol name (SymbolImage); empty for a text segment.
        QString symbol;
        // Shown when there is no symbol.
        QString text;
        QString toolTip;
    };

    // Every segment is `segmentWidth` wide. None is selected at first.
    SegmentedControl(const QList<Segment>& segments, int segmentWidth, QWidget* parent = nullptr);

    // Called when the user selects a segment, with its index.
    std::function<void(int segment)> onSegmentSelected;

    int segmentCount() const { return int(m_buttons.size()); }
    int selectedSegment() const;
    // Selects `segment` without calling onSegmentSelected; an index out of range selects none.
    void setSelectedSegment(int segment);
    // What a user's click on `segment` does: selects it and calls onSegmentSelected. An index
    // out of range changes nothing.
    void selectSegmentFromUser(int segment);
    QToolButton* segmentButton(int segment) const { return m_buttons.value(segment); }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QButtonGroup* m_group;
    QList<QToolButton*> m_buttons;
};
