#include "picture/qt/svg_guard.h"

#include "base/error.h"

#include <QByteArray>
#include <QRegularExpression>
#include <QString>
#include <QXmlStreamReader>
#include <QXmlStreamWriter>
#include <algorithm>
#include <array>
#include <cmath>
#include <vector>

namespace velmora {

namespace {

    // The elements libwmf's and libemf2svg's SVG output is made of.
    constexpr std::array<std::string_view, 19> kDrawingElements { "svg", "g", "defs", "clipPath",
        "mask", "pattern", "path", "rect", "circle", "ellipse", "line", "polyline", "polygon",
        "text", "tspan", "image", "use", "title", "desc" };

    QStringView local_name(QStringView qualified)
    {
        const auto colon = qualified.lastIndexOf(u':');
        return colon < 0 ? qualified : qualified.mid(colon + 1);
    }

    bool drawing_element(QStringView qualified)
    {
        const QString name = local_name(qualified).toString();
        for (const std::string_view allowed : kDrawingElements)
            if (name == QLatin1String(allowed.data(), static_cast<qsizetype>(allowed.size())))
                return true;
        return false;
    }

    // A url() in a value must name something inside the document.
    bool only_local_urls(QStringView value)
    {
        qsizetype at = 0;
        while ((at = value.indexOf(u"url(", at, Qt::CaseInsensitive)) >= 0) {
            at += 4;
            while (
                at < value.size() && (value[at] == u' ' || value[at] == u'\'' || value[at] == u'"'))
                ++at;
            if (at >= value.size() || value[at] != u'#')
                return false;
        }
        return true;
    }

    bool safe_attribute(QStringView qualified, QStringView value)
    {
        const QStringView name = local_name(qualified);
        if (name.startsWith(u"on", Qt::CaseInsensitive) || qualified.startsWith(u"xml:base"))
            return false;
        if (name == u"href")
            return value.startsWith(u'#') || value.startsWith(u"data:image/png;")
                || value.startsWith(u"data:image/jpg;") || value.startsWith(u"data:image/jpeg;");
        return only_local_urls(value);
    }

    // A font size no picture needs, which the text renderers cannot take
    // either (FreeType fails on it, and librsvg then aborts the program).
    constexpr double kLargestFontSize = 1000;

    QString clamped_size(const QString& number)
    {
        bool ok = false;
        const double size = number.toDouble(&ok);
        if (ok && size >= 0 && size <= kLargestFontSize)
            return number;
        return QString::number(ok && size > kLargestFontSize ? kLargestFontSize : 0);
    }

    // Font sizes, as an attribute or as a style property, within
    // [0, kLargestFontSize].
    QString within_font_sizes(QStringView name, QString value)
    {
        if (name == u"font-size")
            return clamped_size(value.trimmed());
        if (name != u"style")
            return value;
        static const QRegularExpression property(
            QStringLiteral("(font-size\\s*:\\s*)([-+0-9.eE]+)"));
        QString out;
        qsizetype from = 0;
        for (auto it = property.globalMatch(value); it.hasNext();) {
            const QRegularExpressionMatch m = it.next();
            out += value.mid(from, m.capturedStart(2) - from) + clamped_size(m.captured(2));
            from = m.capturedEnd(2);
        }
        return out + value.mid(from);
    }

    // How far the transforms of a drawing may enlarge what they hold, all
    // nesting and the drawing's own placement taken together: a thousand
    // times the largest font no picture needs is still drawn at once, while
    // enlargements of a million and more keep the renderer busy for minutes
    // on a single glyph (a damaged world transform of an enhanced metafile
    // gives them).
    constexpr double kLargestEnlargement = 1000;

    // The most a transform list enlarges anything, at least 1: the largest
    // of its matrices' and scalings' factors, multiplied; infinite when a
    // number cannot be read.
    double enlargement(QStringView transform)
    {
        static const QRegularExpression call(QStringLiteral("([A-Za-z]+)\\s*\\(([^)]*)\\)"));
        static const QRegularExpression separator(QStringLiteral("[\\s,]+"));
        double total = 1;
        for (auto it = call.globalMatch(transform); it.hasNext();) {
            const QRegularExpressionMatch m = it.next();
            const QString name = m.captured(1);
            const QStringList numbers
                = m.captured(2).trimmed().split(separator, Qt::SkipEmptyParts);
            double factor = 1;
            for (qsizetype k = 0; k < numbers.size(); ++k) {
                bool ok = false;
                const double value = numbers[k].toDouble(&ok);
                if (!ok || !std::isfinite(value))
                    return INFINITY;
                if ((name == u"matrix" && k < 4) || name == u"scale")
                    factor = std::max(factor, std::abs(value));
                else if ((name == u"skewX" || name == u"skewY") && k == 0)
                    factor = std::max(factor, 1 + std::abs(std::tan(value * M_PI / 180)));
            }
            total *= factor;
        }
        return total;
    }

} // namespace

std::string guarded_svg(std::string_view svg, double placement_scale)
{
    QXmlStreamReader in(QByteArray(svg.data(), static_cast<qsizetype>(svg.size())));
    in.setNamespaceProcessing(false);
    QByteArray result;
    QXmlStreamWriter out(&result);
    int skipping = 0; // depth inside a dropped element
    // The enlargement of each open element, the drawing's placement first.
    std::vector<double> enlarged { std::max(1.0, std::abs(placement_scale)) };
    while (!in.atEnd()) {
        switch (in.readNext()) {
        case QXmlStreamReader::DTD:
            if (!in.entityDeclarations().isEmpty())
                throw Error("The drawing declares entities");
            break;
        case QXmlStreamReader::EntityReference:
            throw Error("The drawing refers to an entity");
        case QXmlStreamReader::StartElement:
            if (skipping == 0 && drawing_element(in.qualifiedName())) {
                double within = enlarged.back();
                for (const QXmlStreamAttribute& a : in.attributes())
                    if (local_name(a.qualifiedName()).endsWith(u"ransform"))
                        within *= enlargement(a.value());
                if (within <= kLargestEnlargement)
                    enlarged.push_back(within);
                else
                    skipping = 1; // drawn far beyond any picture: left out
            } else {
                ++skipping;
            }
            if (skipping > 0)
                break;
            out.writeStartElement(in.qualifiedName().toString());
            for (const QXmlStreamAttribute& a : in.attributes())
                if (safe_attribute(a.qualifiedName(), a.value()))
                    out.writeAttribute(a.qualifiedName().toString(),
                        within_font_sizes(a.qualifiedName(), a.value().toString()));
            break;
        case QXmlStreamReader::EndElement:
            if (skipping > 0) {
                --skipping;
            } else {
                enlarged.pop_back();
                out.writeEndElement();
            }
            break;
        case QXmlStreamReader::Characters:
            if (skipping == 0)
                out.writeCharacters(in.text().toString());
            break;
        default:
            break; // document start and end, comments, processing instructions
        }
    }
    if (in.hasError())
        throw Error("The drawing is damaged: " + in.errorString().toStdString());
    out.writeEndDocument();
    return result.toStdString();
}

} // namespace velmora
