#pragma once

#include <QObject>
#include <QPoint>
#include <QSize>

#include <functional>

// The size and position limits of a form: maximised size and position,
// smallest and largest size while the user drags its border. 0 means no
// limit; the limits count as set when any value is not 0.
class TWinMinMaxInfo : public QObject {
    Q_OBJECT
    Q_PROPERTY(int MaxPosLeft READ MaxPosLeft WRITE SetMaxPosLeft)
    Q_PROPERTY(int MaxPosTop READ MaxPosTop WRITE SetMaxPosTop)
    Q_PROPERTY(int MaxSizeHeight READ MaxSizeHeight WRITE SetMaxSizeHeight)
    Q_PROPERTY(int MaxSizeWidth READ MaxSizeWidth WRITE SetMaxSizeWidth)
    Q_PROPERTY(int MaxTrackHeight READ MaxTrackHeight WRITE SetMaxTrackHeight)
    Q_PROPERTY(int MaxTrackWidth READ MaxTrackWidth WRITE SetMaxTrackWidth)
    Q_PROPERTY(int MinTrackHeight READ MinTrackHeight WRITE SetMinTrackHeight)
    Q_PROPERTY(int MinTrackWidth READ MinTrackWidth WRITE SetMinTrackWidth)

public:
    // The platform's record of the same values.
    struct MinMaxInfo {
        QSize maxSize { 0, 0 };
        QPoint maxPosition;
        QSize minTrackSize { 0, 0 };
        QSize maxTrackSize { 0, 0 };
        bool operator==(const MinMaxInfo&) const = default;
    };

    explicit TWinMinMaxInfo(QObject* parent = nullptr);

    int MaxPosLeft() const { return m_info.maxPosition.x(); }
    int MaxPosTop() const { return m_info.maxPosition.y(); }
    int MaxSizeHeight() const { return m_info.maxSize.height(); }
    int MaxSizeWidth() const { return m_info.maxSize.width(); }
    int MaxTrackHeight() const { return m_info.maxTrackSize.height(); }
    int MaxTrackWidth() const { return m_info.maxTrackSize.width(); }
    int MinTrackHeight() const { return m_info.minTrackSize.height(); }
    int MinTrackWidth() const { return m_info.minTrackSize.width(); }
    void SetMaxPosLeft(int value) { setValue(&QPoint::rx, m_info.maxPosition, value); }
    void SetMaxPosTop(int value) { setValue(&QPoint::ry, m_info.maxPosition, value); }
    void SetMaxSizeHeight(int value) { setValue(&QSize::rheight, m_info.maxSize, value); }
    void SetMaxSizeWidth(int value) { setValue(&QSize::rwidth, m_info.maxSize, value); }
    void SetMaxTrackHeight(int value) { setValue(&QSize::rheight, m_info.maxTrackSize, value); }
    void SetMaxTrackWidth(int value) { setValue(&QSize::rwidth, m_info.maxTrackSize, value); }
    void SetMinTrackHeight(int value) { setValue(&QSize::rheight, m_info.minTrackSize, value); }
    void SetMinTrackWidth(int value) { setValue(&QSize::rwidth, m_info.minTrackSize, value); }

    void Assign(const TWinMinMaxInfo& other);
    bool IsEmpty() const { return m_info == MinMaxInfo {}; }
    const MinMaxInfo& Info() const { return m_info; }

    // Called after every change of a value.
    std::function<void()> OnChange;

private:
    template <class Record>
    void setValue(int& (Record::*part)(), Record& record, int value)
    {
        if ((record.*part)() == value)
            return;
        (record.*part)() = value;
        if (OnChange)
            OnChange();
    }

    MinMaxInfo m_info;
};
