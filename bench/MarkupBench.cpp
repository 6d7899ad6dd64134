// Interaction costs of the markup engine with a long annotation list: hit testing one press
// and one drag step of a curved arrow. Both must stay well inside a frame (target: under 1 ms).
// The baseline is a plain scan of 1 000 precomputed bounding boxes, the least any hit test
// over the list could cost.

#include "BenchmarkRegistry.h"
#include "MarkupEngine.h"
#include "MarkupGeometry.h"

#include <QRandomGenerator>

namespace {

constexpr int annotationCount = 1000;
constexpr int anchorsPerCurvedArrow = 8;
const QRectF imageRect(0, 0, 1600, 1000);

QPointF randomPoint(QRandomGenerator& random, double lo, double hi)
{
    return {lo + random.bounded(hi - lo), lo + random.bounded(hi - lo)};
}

// Seven kinds in turn, curved arrows with 8 anchors, all in the lower-left three quarters of
// the image so that a press in the top-right corner misses every one (the full scan). The last
// one, on top, is a curved arrow of its own in the top-right quarter, for the drag steps.
QList<MarkupAnnotation> mixedAnnotations()
{
    QRandomGenerator random(20240611);
    QList<MarkupAnnotation> annotations;
    const auto append = [&annotations](const MarkupShape& shape) {
        annotations.append(MarkupAnnotation(shape, Qt::red, Qt::transparent, 0.003, 5, 1,
                                            MarkupArrowheadStyle::end));
    };
    for (int i = 0; i + 1 < annotationCount; ++i) {
        const QPointF a = randomPoint(random, 0.02, 0.6);
        const QPointF b = a + randomPoint(random, 0.01, 0.1);
        const QRectF box = MarkupGeometry::rect(a, b);
        switch (i % 7) {
        case 0:
            append(MarkupShape::rectangle(box));
            break;
        case 1:
            append(MarkupShape::ellipse(box));
            break;
        case 2:
            append(MarkupShape::blur(box));
            break;
        case 3:
            append(MarkupShape::arrow(a, b));
            break;
        case 4: {
            QList<QPointF> anchors;
            for (int k = 1; k <= anchorsPerCurvedArrow; ++k) {
                anchors.append(a + (b - a) * (k / 9.0) + randomPoint(random, -0.02, 0.02));
            }
            append(MarkupShape::curvedArrow(a, b, anchors));
            break;
        }
        case 5: {
            QList<QPointF> points;
            for (int k = 0; k < 20; ++k) {
                points.append(a + (b - a) * (k / 19.0) + randomPoint(random, -0.01, 0.01));
            }
            append(MarkupShape::pen(points));
            break;
        }
        default:
            append(MarkupShape::text(a, QStringLiteral("Note %1").arg(i), 0.03));
            break;
        }
    }
    QList<QPointF> anchors;
    for (int k = 1; k <= anchorsPerCurvedArrow; ++k) {
        anchors.append(QPointF(0.7 + 0.03 * k, k % 2 == 0 ? 0.72 : 0.8));
    }
    append(MarkupShape::curvedArrow(QPointF(0.7, 0.76), QPointF(0.97, 0.76), anchors));
    return annotations;
}

// Best time of one call of `work`, averaged over `calls` calls, in seconds.
double secondsPerCall(int calls, const std::function<void()>& work)
{
    return bench::bestSeconds(5,
                              [&] {
                                  for (int i = 0; i < calls; ++i) {
                                      work();
                                  }
                              }) /
           calls;
}

void reportBoth(const QString& name, double seconds, double baselineSeconds)
{
    bench::report(name, seconds, baselineSeconds, QStringLiteral("under 1 ms"));
    bench::reportAbsolute(name, seconds * 1e6, QStringLiteral("us"), QStringLiteral("< 1000 us"));
}

const bool registered = BenchmarkRegistry::add(QStringLiteral("markup interaction"), [] {
    MarkupEngine engine;
    engine.imageRectProvider = [] { return std::optional(imageRect); };
    engine.setAnnotations(mixedAnnotations());

    QList<QRectF> boxes;
    for (const MarkupAnnotation& annotation : engine.annotations()) {
        boxes.append(MarkupGeometry::denormalizedRect(annotation.normalizedBounds(), imageRect));
    }
    const QPointF miss(1550, 950);
    // Results land here so that the measured calls cannot be optimised away.
    volatile bool hit = false;
    const double baseline = secondsPerCall(2000, [&] {
        for (const QRectF& box : std::as_const(boxes)) {
            hit = MarkupGeometry::contains(box, miss);
        }
    });

    const double press =
        secondsPerCall(20, [&] { hit = engine.annotationIndex(miss, imageRect).has_value(); });
    if (hit) {
        qFatal("the benchmark press was meant to miss every annotation");
    }
    reportBoth(QStringLiteral("markup press hit test, 1000 annotations"), press, baseline);

    // Drag the curved arrow on top by its body, then by an anchor.
    const MarkupEngine::Index arrowIndex = annotationCount - 1;
    const QList<QPointF> path = MarkupGeometry::denormalizedPoints(
        *engine.annotations()[arrowIndex].shape.arrowPathPoints(), imageRect);
    // Halfway between the first two anchors, clear of their handles.
    const QPointF body = MarkupGeometry::sampledArrowPathPoints(path, 24)[24 + 12];
    engine.beginInteraction(body, Qt::NoModifier);
    if (engine.interactionMode() != MarkupEngine::InteractionMode::move(arrowIndex)) {
        qFatal("the benchmark press did not grab the curved arrow");
    }
    int step = 0;
    const double move = secondsPerCall(2000, [&] {
        ++step;
        engine.mouseDragged(body + QPointF(step % 40, step % 30));
    });
    engine.mouseUp(body);
    reportBoth(QStringLiteral("markup drag step, curved arrow body"), move, baseline);

    const QPointF anchor = MarkupGeometry::denormalizedPoint(
        engine.annotations()[arrowIndex].shape.arrowAnchors().front(), imageRect);
    engine.beginInteraction(anchor, Qt::NoModifier);
    if (engine.interactionMode().kind() != MarkupEngine::InteractionMode::Kind::resizeArrowAnchor) {
        qFatal("the benchmark press did not grab the anchor");
    }
    const double anchorStep = secondsPerCall(2000, [&] {
        ++step;
        engine.mouseDragged(anchor + QPointF(step % 40, step % 30));
    });
    engine.mouseUp(anchor);
    reportBoth(QStringLiteral("markup drag step, curved arrow anchor"), anchorStep, baseline);
});

} // namespace
