// The picture of the disk layouts an assignment left: one bar per disk,
// each file a segment as wide as its cluster-rounded bytes, the pieces of a
// split file in one colour and linked from disk to disk, then the free
// space and the slop; pointing at a segment tells its Source, piece and
// bytes.
#pragma once

#include <QRect>
#include <QString>
#include <QWidget>
#include <vector>

#include "engine/disk_layout.h"

// The medium the layouts were made for.
struct LayoutMedium {
    uint32_t capacity = 1457664;
    uint32_t cluster_size = 512;
    uint32_t slop = 0;
};

// One drawn segment of a disk's bar.
struct LayoutSegment {
    QRect rect;
    QString tip;
    int colour = -1;  // index into the palette; -1 for free space, -2 for slop
    int link = -1;    // the segment of the next piece of the same file, or -1
};

// The segments of `layouts` laid out in a picture `width` wide: a heading
// row per product, then a bar per disk. *height is the picture's height.
std::vector<LayoutSegment> layout_segments(const std::vector<ProductLayout>& layouts,
                                           const LayoutMedium& medium, int width, int* height);

class LayoutView : public QWidget {
    Q_OBJECT
public:
    explicit LayoutView(QWidget* parent = nullptr);
    void set_layouts(const std::vector<ProductLayout>& layouts, const LayoutMedium& medium);
    void clear();
    bool empty() const { return layouts_.empty(); }
    // The tip for the point `at`, "" over no segment.
    QString tip_at(const QPoint& at) const;
    QSize sizeHint() const override;

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
