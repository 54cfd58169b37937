// The picture of the disk layouts an assignment left: a heading per
// product, one bar per disk, each file a segment as wide as its
// cluster-rounded bytes, the pieces of a split file in one colour and
// linked from disk to disk, then the free space (labelled with its bytes)
// and the slop. Pointing at a segment tells its Source, its name on the
// disk, its piece and its bytes. The picture is as tall as its products
// need; the window scrolls it.
#pragma once

#include <QColor>
#include <QRect>
#include <QString>
#include <QWidget>
#include <vector>

#include "engine/disk_layout.h"
#include "media/media_table.h"

// The medium the layouts were made for; the default medium until set.
struct LayoutMedium {
    uint32_t capacity = MEDIA_DEFAULT.media_capacity;
    uint32_t cluster_size = MEDIA_DEFAULT.cluster_size;
    uint32_t slop = 0;
};

// What a segment of a bar stands for.
enum SegmentKind { SEGMENT_FILE, SEGMENT_FREE, SEGMENT_SLOP };

// One drawn segment of a disk's bar.
struct LayoutSegment {
    QRect rect;
    QString tip;
    SegmentKind kind = SEGMENT_FILE;
    int colour = 0;  // a file's index into the palette
    int link = -1;   // the segment of the next piece of the same file, or -1
    QString label;   // drawn beside the bar: the free space of the disk
};

// The segments of `layouts` laid out in a picture `width` wide: a heading
// row per product, then a bar per disk. *height is the picture's height.
std::vector<LayoutSegment> layout_segments(const std::vector<ProductLayout>& layouts,
                                           const LayoutMedium& medium, int width, int* height);

// The colour a segment is filled with.
QColor layout_segment_colour(const LayoutSegment& segment);

class LayoutView : public QWidget {
    Q_OBJECT
public:
    explicit LayoutView(QWidget* parent = nullptr);
    void set_layouts(const std::vector<ProductLayout>& layouts, const LayoutMedium& medium);
    void clear();
    bool empty() const { return layouts_.empty(); }
    // The tip for the point `at`, "" over no segment.
    QString tip_at(const QPoint& at) const;
    const std::vector<LayoutSegment>& segments() const { return segments_; }
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent*) override;
    bool event(QEvent* event) override;
    void resizeEvent(QResizeEvent*) override;

private:
    void relayout();
    std::vector<ProductLayout> layouts_;
    LayoutMedium medium_;
    std::vector<LayoutSegment> segments_;
    int height_ = 0;
};

// The legend of the picture's colours: a swatch and a text for a file, the
// free space and the slop.
class LayoutLegend : public QWidget {
    Q_OBJECT
public:
    explicit LayoutLegend(QWidget* parent = nullptr);
};
