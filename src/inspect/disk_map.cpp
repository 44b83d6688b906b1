#include "inspect/disk_map.h"

#include <algorithm>
#include <vector>

#include "common/text.h"
#include "inspect/shared.h"

namespace ssdprep {
namespace {

constexpr std::size_t kPictureWidth = 64;
constexpr char kLegend[] =
    ": 1-9 a partition by number, + numbered 10 or more, ? one not recognised, H the partition "
    "the delete removes, N the new one, . unallocated, : the extended partition's, # past what "
    "the partitioning tool uses)\n";

// A row of the table: the MBR, an entry of the layout or a free extent.
struct Item {
    std::uint64_t offset;
    int depth;  // 1: inside the extended partition
    int entry;  // index into the entries, or -1
    int free;   // index into the free extents, or -1
};

// Something drawn: a mark over an extent.
struct Layer {
    Extent extent;
    char mark;
};

bool Deleted(const Inspection& in, const LayoutEntry& entry) {
    return entry.recognized && entry.number == in.hibernationPartition &&
           in.hibernationPartition != kNoPartition;
}

std::string TypeText(const LayoutEntry& entry) {
    return "type 0x" + Hex(static_cast<unsigned>(entry.type), 2);
}

// "partition 2: type 0x84 (hibernation), logical", "extended partition: type 0x05".
std::string EntryText(const LayoutEntry& entry) {
    if (IsContainer(entry.type)) {
        return "extended partition: " + TypeText(entry);
    }
    return Cat({entry.recognized ? "partition " + Decimal(entry.number) : "not recognised", ": ",
                TypeText(entry),
                entry.type == kHibernationPartitionType ? " (hibernation), " : ", ", Kind(entry)});
}

// What the create step could use of an extent outside every primary entry,
// or why nothing.
std::string FreeText(const FreeExtent& extent, const CreateModel& model) {
    const std::uint32_t sector = model.bytesPerSector;
    if (extent.usable) {
        return Cat({"usable once aligned: ", SectorRange(*extent.usable, sector), " (",
                    BinarySize(extent.usable->length), ")"});
    }
    if (model.alignment.cylinders) {
        return "nothing usable: it holds no 1 MiB in whole cylinders";
    }
    const std::uint64_t unit = model.alignment.startAlignment;
    const std::uint64_t start = RoundUp(extent.raw.offset, unit);
    return Cat({"nothing usable: from the ", BinarySize(unit), " boundary at sector ",
                Decimal(static_cast<long long>(start / sector)), " it holds ",
                BinarySize(extent.raw.End() > start ? extent.raw.End() - start : 0),
                ", under 1 MiB"});
}

std::string FreeRow(const Inspection& in, const CreateModel& model, std::size_t index,
                    const std::optional<Extent>& gone) {
    const Placement& p = *model.placement;
    const FreeExtent& f = p.free[index];
    const bool was = gone && gone->offset < f.raw.End() && f.raw.offset < gone->End();
    std::string what = Cat(
        {"unallocated",
         f.where == FreeExtent::Where::InsideExtended ? " in the extended partition" : "",
         was ? " (hibernation partition " + Decimal(in.hibernationPartition) + " until the delete)"
             : ""});
    switch (f.where) {
        case FreeExtent::Where::Outside:
            return Cat({what, ": ", FreeText(f, model),
                        p.taken == index ? "; the largest: the create step takes this one" : ""});
        case FreeExtent::Where::PastEnd:
            return what + (model.alignment.cylinders &&
                                   f.raw.offset < kMbrSectorLimit * model.bytesPerSector
                               ? " past the last whole cylinder: not used"
                               : " past 2^32 sectors, which an MBR cannot address: not used");
        case FreeExtent::Where::InsideExtended:
            break;
    }
    return what + ": no primary partition can go here";
}

char Mark(const LayoutEntry& entry, bool deleted) {
    if (deleted) {
        return 'H';
    }
    if (!entry.recognized) {
        return '?';
    }
    return entry.number >= 1 && entry.number <= 9 ? static_cast<char>('0' + entry.number) : '+';
}

// One line of the disk, each character the part that covers its middle;
// the hibernation and the new partition show however small.
std::string Picture(const std::vector<Layer>& layers, std::uint64_t size, bool after) {
    std::string line(kPictureWidth, '.');
    for (const Layer& layer : layers) {
        const char mark = after && layer.mark == 'H' ? '\0' : layer.mark;
        bool shown = mark == '\0';
        for (std::size_t cell = 0; cell < kPictureWidth && mark != '\0'; ++cell) {
            const std::uint64_t middle = (2 * cell + 1) * (size / (2 * kPictureWidth));
            if (middle >= layer.extent.offset && middle < layer.extent.End()) {
                line[cell] = mark;
                shown = true;
            }
        }
        if (!shown && (mark == 'H' || mark == 'N') && layer.extent.length != 0) {
            line[std::min<std::uint64_t>(layer.extent.offset / (size / kPictureWidth + 1),
                                         kPictureWidth - 1)] = mark;
        }
    }
    return "[" + line + "]\n";
}

// Without the geometry: the entries alone, in bytes.
std::string EntryList(const std::vector<LayoutEntry>& entries) {
    std::string r;
    for (const LayoutEntry& e : entries) {
        if (e.type != 0 && (e.index < kPrimaryEntries || !IsContainer(e.type))) {
            r += Cat({"  ", EntryText(e), ", ", BinarySize(e.length), " at ", BinarySize(e.offset),
                      "\n"});
        }
    }
    return r;
}

}  // namespace

std::string DiskMap(const Inspection& in, const CreateModel& model) {
    const std::vector<LayoutEntry> entries = LayoutEntries(in.layout.reply);
    if (!model.placement || !model.placement->roomModelled) {
        return EntryList(entries);
    }
    const Placement& p = *model.placement;
    const std::uint32_t sector = model.bytesPerSector;
    const std::uint64_t size = in.geometry.geometry.diskSize;
    const std::uint64_t end = std::min(size, UsableEnd(in.geometry.geometry, model.alignment));
    std::vector<Item> items = {{0, 0, -1, -1}};
    std::vector<Layer> layers = {{{end, size - end}, '#'}};
    std::optional<Extent> gone;
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const LayoutEntry& e = entries[i];
        const bool primary = e.index < kPrimaryEntries;
        // Empty, or the link to the next logical drive's table.
        if (e.type == 0 || (!primary && IsContainer(e.type))) {
            continue;
        }
        if (Deleted(in, e)) {
            gone = Extent{e.offset, e.length};
        } else {
            items.push_back({e.offset, primary ? 0 : 1, static_cast<int>(i), -1});
        }
        if (IsContainer(e.type)) {
            layers.insert(layers.begin() + 1, {{e.offset, e.length}, ':'});
        } else {
            layers.push_back({{e.offset, e.length}, Mark(e, Deleted(in, e))});
        }
    }
    for (std::size_t i = 0; i < p.free.size(); ++i) {
        const bool inside = p.free[i].where == FreeExtent::Where::InsideExtended;
        items.push_back({p.free[i].raw.offset, inside ? 1 : 0, -1, static_cast<int>(i)});
    }
    // Stable: a container, put in before the free extents, stays before the
    // one it begins with.
    SortBy(items, [](const Item& item) { return item.offset; });
    std::string r = Cat({"Drive 0 in disk order after the delete, in ", Decimal(sector),
                         "-byte sectors (", AlignmentText(in.rules, in.geometry.geometry), "):\n"});
    for (const Item& item : items) {
        const Extent extent = item.entry >= 0
                                  ? Extent{entries[item.entry].offset, entries[item.entry].length}
                              : item.free >= 0 ? p.free[item.free].raw
                                               : Extent{0, sector};
        std::string range = std::string(static_cast<std::size_t>(item.depth) * 2, ' ') +
                            SectorRange(extent, sector);
        std::string length = BinarySize(extent.length);
        range.resize(std::max<std::size_t>(range.size() + 1, 32), ' ');
        length.resize(std::max<std::size_t>(length.size() + 1, 12), ' ');
        r += Cat({"  ", range, length,
                  item.entry >= 0  ? EntryText(entries[item.entry])
                  : item.free >= 0 ? FreeRow(in, model, item.free, gone)
                                   : "the MBR",
                  "\n"});
    }
    r += "  before the delete: " + Picture(layers, size, false);
    if (p.partition) {
        layers.push_back({*p.partition, 'N'});
    }
    return Cat({r, "  after the create:  ", Picture(layers, size, true), "  (one character for ",
                BinarySize(size / kPictureWidth), kLegend});
}

}  // namespace ssdprep
