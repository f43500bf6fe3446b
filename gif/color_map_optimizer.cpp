// Merging every frame's colour table into one sorted global table.

#include "gif/gif_image.h"
#include "gif/list_sort.h"

#include <cstdlib>
#include <limits>

namespace velmora {

namespace {

    struct THistogramEntry {
        std::int64_t count = 0; // uses; -1 once pruned
        int old_index = 0; // position in the frame's table
        int new_index = 0; // position in the merged table
        int key = 0; // red + 256 x green + 65536 x blue
        Color color = 0;
        THistogramEntry* link = nullptr; // the first entry of its duplicate run
    };

    constexpr std::int64_t kMaxCount = std::numeric_limits<std::int32_t>::max();

    // The uses of one colour table's entries by the frames that use it.
    class THistogram {
    public:
        explicit THistogram(const TGIFColorMap& map)
            : entries_(static_cast<std::size_t>(map.count()))
        {
            for (int i = 0; i < map.count(); ++i) {
                THistogramEntry& e = entries_[static_cast<std::size_t>(i)];
                e.old_index = i;
                e.color = map[i];
                e.key
                    = color_red(e.color) + 256 * color_green(e.color) + 65536 * color_blue(e.color);
                kept_.push_back(&e);
            }
        }

        std::vector<TGIFSubImage*> frames;

        // Counts the pixels of every frame; returns whether any frame's
        // transparent index was used.
        bool count(const TGIFImage& image)
        {
            bool any_transparency = false;
            for (TGIFSubImage* frame : frames) {
                const bool transparent = frame->transparent();
                const int transparent_index = frame->transparent_index();
                bool used = false;
                for (auto& pixel : frame->data()) {
                    if (transparent && pixel == transparent_index) {
                        used = true;
                        continue;
                    }
                    if (pixel >= entries_.size()) {
                        image.warning("Color not in color table");
                        pixel = 0;
                    }
                    auto& uses = entries_[pixel].count;
                    if (uses == kMaxCount)
                        break;
                    ++uses;
                }
                if (transparent && !used) {
                    // Nothing shows through this frame: it needs no
                    // transparent colour, and the merged table keeps its slot.
                    if (auto* control = frame->graphic_control()) {
                        control->set_transparent_index(0);
                        control->set_transparent(false);
                    } else {
                        frame->set_transparent(false);
                    }
                }
                any_transparency = any_transparency || used;
            }
            return any_transparency;
        }

        // Sorts by use, most used first, and drops the unused entries.
        void prune()
        {
            list_quick_sort(kept_, [](const THistogramEntry* a, const THistogramEntry* b) {
                return a->count > b->count;
            });
            std::size_t used = 0;
            while (used < kept_.size() && kept_[used]->count > 0)
                ++used;
            for (std::size_t i = used; i < kept_.size(); ++i)
                kept_[i]->count = -1;
            kept_.resize(used);
        }

        const std::vector<THistogramEntry*>& kept() const { return kept_; }

        void remap(bool uses_transparency, int new_transparent_index)
        {
            std::uint8_t table[256] = {};
            for (const THistogramEntry* e : kept_)
                table[e->old_index] = static_cast<std::uint8_t>(e->new_index);
            for (TGIFSubImage* frame : frames) {
                const bool transparent = frame->transparent() && uses_transparency;
                const int old_transparent = frame->transparent_index();
                if (transparent && frame->graphic_control())
                    frame->graphic_control()->set_transparent_index(new_transparent_index);
                for (auto& pixel : frame->data()) {
                    if (transparent && pixel == old_transparent)
                        pixel = static_cast<std::uint8_t>(new_transparent_index);
                    else
                        pixel = table[pixel];
                }
            }
        }

    private:
        std::vector<THistogramEntry> entries_;
        std::vector<THistogramEntry*> kept_;
    };

    int component_sum(Color c)
    {
        return color_red(c) + color_green(c) + color_blue(c);
    }

    class TColorMapOptimizer {
    public:
        explicit TColorMapOptimizer(TGIFImage& image)
            : image_(image)
        {
        }

        void optimize()
        {
            build_histograms();
            bool uses_transparency = false;
            for (auto& h : histograms_)
                uses_transparency = h->count(image_) || uses_transparency;
            std::vector<THistogramEntry*> list;
            for (auto& h : histograms_) {
                h->prune();
                list.insert(list.end(), h->kept().begin(), h->kept().end());
            }
            merge_duplicates(list);
            list_quick_sort(list, [](const THistogramEntry* a, const THistogramEntry* b) {
                return a->count > b->count;
            });

            const std::size_t capacity = uses_transparency ? 255 : 256;
            std::size_t final_count = 0;
            while (
                final_count < list.size() && final_count < capacity && list[final_count]->count > 0)
                ++final_count;
            std::vector<Color> table;
            for (std::size_t i = 0; i < final_count; ++i) {
                list[i]->new_index = static_cast<int>(i);
                table.push_back(list[i]->color);
            }
            for (std::size_t i = final_count; i < list.size(); ++i) {
                THistogramEntry* e = list[i];
                e->new_index
                    = e->count == 0 ? e->link->new_index : nearest(list, final_count, e->color);
            }
            const int transparent_index = static_cast<int>(table.size());
            if (uses_transparency)
                table.push_back(make_color(0, 0, 0));

            for (const auto& frame : image_.images())
                frame->color_map().clear();
            image_.global_color_map().assign(table);
            image_.global_color_map().set_sorted(true);
            for (auto& h : histograms_)
                h->remap(uses_transparency, transparent_index);
        }

    private:
        void build_histograms()
        {
            if (image_.global_color_map().count() > 0) {
                auto global = std::make_unique<THistogram>(image_.global_color_map());
                for (const auto& frame : image_.images())
                    if (!frame->empty() && frame->color_map().count() == 0)
                        global->frames.push_back(frame.get());
                if (!global->frames.empty())
                    histograms_.push_back(std::move(global));
            }
            for (const auto& frame : image_.images()) {
                if (frame->empty() || frame->color_map().count() == 0)
                    continue;
                histograms_.push_back(std::make_unique<THistogram>(frame->color_map()));
                histograms_.back()->frames.push_back(frame.get());
            }
        }

        // Equal colours from different tables become one entry: the first of
        // each run (by key, descending) takes the run's uses, the others link
        // to it.
        static void merge_duplicates(std::vector<THistogramEntry*>& list)
        {
            list_quick_sort(list,
                [](const THistogramEntry* a, const THistogramEntry* b) { return a->key > b->key; });
            for (std::size_t i = 0; i < list.size();) {
                THistogramEntry* first = list[i];
                std::size_t j = i + 1;
                for (; j < list.size() && list[j]->key == first->key; ++j) {
                    first->count += list[j]->count;
                    list[j]->count = 0;
                    list[j]->link = first;
                }
                i = j;
            }
        }

        // A colour that did not fit takes the kept colour of the closest
        // brightness; ties go to the more used colour.
        static int nearest(const std::vector<THistogramEntry*>& list, std::size_t kept, Color color)
        {
            int best = 765;
            int index = 0;
            for (std::size_t i = 0; i < kept; ++i) {
                const int d = std::abs(component_sum(list[i]->color) - component_sum(color));
                if (d < best) {
                    best = d;
                    index = static_cast<int>(i);
                }
            }
            return index;
        }

        TGIFImage& image_;
        std::vector<std::unique_ptr<THistogram>> histograms_;
    };

} // namespace

void TGIFImage::MergeColorMaps()
{
    TColorMapOptimizer(*this).optimize();
}

} // namespace velmora
