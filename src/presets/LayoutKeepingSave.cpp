#include "presets/LayoutKeepingSave.h"

#include "presets/Conversions.h"
#include "presets/PresetElements.h"
#include "presets/SourceSpans.h"

#include <algorithm>
#include <functional>
#include <stdexcept>

namespace voriraz {

namespace {

using Spans = std::vector<SourceSpan>;

// Text edits on the source, applied together at the end. Edits never
// overlap; insertions at one place keep the order they were made in.
class SourceEdits
{
public:
    explicit SourceEdits(std::string_view text) : mText(text) {}

    void replace(std::size_t begin, std::size_t end, std::string text)
    {
        mEdits.push_back({begin, end, std::move(text)});
    }
    void insert(std::size_t at, std::string text) { replace(at, at, std::move(text)); }

    std::string result() const
    {
        std::vector<const Edit *> order;
        for (const Edit &edit : mEdits)
            order.push_back(&edit);
        // At one place, insertions go before a replacement that starts there.
        std::stable_sort(order.begin(), order.end(), [](const Edit *a, const Edit *b) {
            return a->begin != b->begin ? a->begin < b->begin : (a->end == a->begin && b->end != b->begin);
        });
        std::string out;
        std::size_t cursor = 0;
        for (const Edit *edit : order) {
            if (edit->begin < cursor)
                throw std::logic_error("Overlapping edits while keeping the preset's layout");
            out.append(mText.substr(cursor, edit->begin - cursor));
            out += edit->text;
            cursor = edit->end;
        }
        out.append(mText.substr(cursor));
        return out;
    }

private:
    struct Edit
    {
        std::size_t begin;
        std::size_t end;
        std::string text;
    };
    std::string_view mText;
    std::vector<Edit> mEdits;
};

// How a new list item is laid out: the whitespace before it, and for items
// with values of their own, the whitespace before the first value, between
// values and before the item's end tag.
struct ItemLayout
{
    std::string before;
    std::string firstValue;
    std::string betweenValues;
    std::string end;
};

// A list of the preset: the items the file holds, each with a key that is
// equal exactly when two items save alike, and the keys of the items the
// save writes.
struct ListChange
{
    const char *name;
    std::vector<std::size_t> oldItems; // positions among the list's child nodes
    std::vector<std::string> oldKeys;
    std::vector<std::string> newKeys;
    // The markup of new item j.
    std::function<std::string(std::size_t j, const ItemLayout &layout)> render;
    // Rewrites old item i's values in place to those of new item j; false
    // when the item is not shaped for it (it is then written anew).
    std::function<bool(const SourceSpan &item, std::size_t i, std::size_t j)> patch;
};

// A list whose items show in numbered slots of the window (skills, army).
struct SlotListChange
{
    const char *name;
    std::vector<int> items; // per slot, the list's child node holding it, or -1
    std::function<bool(int n)> changed; // the slot's values differ from the file's
    std::function<bool(int n)> written; // a save writes an item for the slot
    std::function<std::string(int n, const ItemLayout &layout)> render;
    // Rewrites the item's values in place to the slot's; false when the
    // item is not shaped for it.
    std::function<bool(const SourceSpan &item, int n)> patch;
};

class LayoutKeepingWriter
{
public:
    LayoutKeepingWriter(const PresetDocument &document, const PresetCatalogs &catalogs)
        : mDocument(document)
        , mCatalogs(catalogs)
        , mText(document.SourceText())
        , mEdits(mText)
    {
        mRoot = elementSpanAt(mText, document.SourceRootOffset());
        const std::size_t lineFeed = mText.find('\n', mRoot.begin);
        mCompact = lineFeed == std::string_view::npos || lineFeed >= mRoot.end;
        if (!mCompact)
            mLineBreak = lineFeed > 0 && mText[lineFeed - 1] == '\r' ? "\r\n" : "\n";
        mUnit = indentationUnit();
    }

    LayoutKeepingSave write(const PresetControls &file, const PresetControls &saved, const SlotItems &items);

private:
    std::string indentOf(const SourceSpan &span) const;
    std::string indentationUnit() const;
    std::string lineAt(const std::string &indent) const { return mCompact ? std::string() : mLineBreak + indent; }
    std::string gapBefore(const Spans &siblings, std::size_t position, const SourceSpan &parent) const;
    std::string newChildGap(const SourceSpan &parent, const Spans &siblings) const;
    static std::string indentAfterLineBreak(const std::string &gap);

    std::string escaped(const std::string &text) const { return mDocument.EscapedText(text); }
    std::string openTag(const SourceSpan &element) const;
    void setText(const SourceSpan &element, const std::string &text);
    bool setValue(const SourceSpan &item, const char *name, const std::string &text);
    ItemLayout layoutOf(const SourceSpan &list, const Spans &items) const;
    ItemLayout layoutForIndent(const std::string &itemIndent) const;

    void changeList(const SourceSpan &parent, const ListChange &change);
    std::vector<int> changeSlotList(const SourceSpan &parent, const SlotListChange &change);
    void addList(const SourceSpan &parent, const Spans &siblings, const char *name, const std::vector<std::string> &items);
    void replaceContent(const SourceSpan &list, const std::vector<std::string> &items);

    const PresetDocument &mDocument;
    const PresetCatalogs &mCatalogs;
    std::string_view mText;
    SourceEdits mEdits;
    SourceSpan mRoot;
    bool mCompact = true;
    std::string mLineBreak;
    std::string mUnit;
};

// The blanks before span on its line; empty when something else precedes
// it there.
std::string LayoutKeepingWriter::indentOf(const SourceSpan &span) const
{
    std::size_t start = span.begin;
    while (start > 0 && (mText[start - 1] == ' ' || mText[start - 1] == '\t'))
        --start;
    if (start > 0 && mText[start - 1] != '\n' && mText[start - 1] != '\r')
        return std::string();
    return std::string(mText.substr(start, span.begin - start));
}

// The file's own step of indentation: what the first element on a line of
// its own adds to the document element's; four blanks when there is none.
std::string LayoutKeepingWriter::indentationUnit() const
{
    const std::string rootIndent = indentOf(mRoot);
    for (const SourceSpan &child : childSpans(mText, mRoot)) {
        const std::size_t lineBreak = mText.find_last_of("\r\n", child.begin);
        if (!child.isElement() || lineBreak == std::string_view::npos || lineBreak < mRoot.contentBegin)
            continue;
        const std::string indent = indentOf(child);
        if (indent.size() > rootIndent.size() && indent.starts_with(rootIndent))
            return indent.substr(rootIndent.size());
    }
    return "    ";
}

std::string LayoutKeepingWriter::gapBefore(const Spans &siblings, std::size_t position, const SourceSpan &parent) const
{
    const std::size_t from = position == 0 ? parent.contentBegin : siblings[position - 1].end;
    return std::string(mText.substr(from, siblings[position].begin - from));
}

std::string LayoutKeepingWriter::indentAfterLineBreak(const std::string &gap)
{
    const std::size_t lineBreak = gap.find_last_of("\r\n");
    return lineBreak == std::string::npos ? std::string() : gap.substr(lineBreak + 1);
}

// The start tag of an element, as a start tag even when it was written as
// an empty-element tag.
std::string LayoutKeepingWriter::openTag(const SourceSpan &element) const
{
    if (!element.emptyElementTag)
        return std::string(mText.substr(element.begin, element.contentBegin - element.begin));
    std::size_t end = element.end - 2; // before "/>"
    while (end > element.begin && isXmlWhitespace(mText[end - 1]))
        --end;
    return std::string(mText.substr(element.begin, end - element.begin)) + ">";
}

void LayoutKeepingWriter::setText(const SourceSpan &element, const std::string &text)
{
    if (element.emptyElementTag)
        mEdits.replace(element.begin, element.end, openTag(element) + escaped(text) + "</" + std::string(element.name) + ">");
    else
        mEdits.replace(element.contentBegin, element.contentEnd, escaped(text));
}

bool LayoutKeepingWriter::setValue(const SourceSpan &item, const char *name, const std::string &text)
{
    if (!item.isElement())
        return false;
    const Spans values = childSpans(mText, item);
    const SourceSpan *value = firstChildNamed(values, name);
    if (!value)
        return false;
    setText(*value, text);
    return true;
}

ItemLayout LayoutKeepingWriter::layoutForIndent(const std::string &itemIndent) const
{
    return {lineAt(itemIndent), lineAt(itemIndent + mUnit), lineAt(itemIndent + mUnit), lineAt(itemIndent)};
}

// The layout of a list's items, learnt from the items it has: the
// whitespace before its last item, and inside its first item with two
// values or more.
ItemLayout LayoutKeepingWriter::layoutOf(const SourceSpan &list, const Spans &items) const
{
    if (items.empty())
        return layoutForIndent(indentOf(list) + mUnit);
    const std::string before = gapBefore(items, items.size() - 1, list);
    ItemLayout layout = layoutForIndent(indentAfterLineBreak(before));
    layout.before = before;
    for (const SourceSpan &item : items) {
        if (!item.isElement())
            continue;
        const Spans values = childSpans(mText, item);
        if (values.size() < 2)
            continue;
        layout.firstValue = gapBefore(values, 0, item);
        layout.betweenValues = gapBefore(values, 1, item);
        layout.end = std::string(mText.substr(values.back().end, item.contentEnd - values.back().end));
        break;
    }
    return layout;
}

// The longest common subsequence of two key lists, as the pairs (i, j) of
// equal keys it keeps, in order. Long lists that share nothing at their
// ends are compared position by position instead, to stay quick.
std::vector<std::pair<std::size_t, std::size_t>> commonItems(const std::vector<std::string> &a, const std::vector<std::string> &b)
{
    const std::size_t n = a.size();
    const std::size_t m = b.size();
    std::vector<std::pair<std::size_t, std::size_t>> kept;
    if (n * m > 4'000'000) {
        for (std::size_t i = 0; i < std::min(n, m); ++i) {
            if (a[i] == b[i])
                kept.emplace_back(i, i);
        }
        return kept;
    }
    std::vector<std::vector<std::size_t>> length(n + 1, std::vector<std::size_t>(m + 1, 0));
    for (std::size_t i = n; i-- > 0;) {
        for (std::size_t j = m; j-- > 0;)
            length[i][j] = a[i] == b[j] ? length[i + 1][j + 1] + 1 : std::max(length[i + 1][j], length[i][j + 1]);
    }
    for (std::size_t i = 0, j = 0; i < n && j < m;) {
        if (a[i] == b[j]) {
            kept.emplace_back(i++, j++);
        } else if (length[i + 1][j] >= length[i][j + 1]) {
            ++i;
        } else {
            ++j;
        }
    }
    return kept;
}

void LayoutKeepingWriter::changeList(const SourceSpan &parent, const ListChange &change)
{
    const Spans siblings = childSpans(mText, parent);
    const SourceSpan *list = firstChildNamed(siblings, change.name);
    auto rendered = [&](const ItemLayout &layout) {
        std::vector<std::string> items;
        for (std::size_t j = 0; j < change.newKeys.size(); ++j)
            items.push_back(change.render(j, layout));
        return items;
    };
    if (!list) {
        if (!change.newKeys.empty())
            addList(parent, siblings, change.name, rendered(layoutForIndent(indentAfterLineBreak(newChildGap(parent, siblings)) + mUnit)));
        return;
    }
    if (change.oldKeys == change.newKeys)
        return;
    const Spans nodes = childSpans(mText, *list);
    const ItemLayout layout = layoutOf(*list, nodes);
    if (nodes.empty()) {
        replaceContent(*list, rendered(layout));
        return;
    }

    auto remove = [&](std::size_t i) {
        const std::size_t node = change.oldItems[i];
        mEdits.replace(node == 0 ? list->contentBegin : nodes[node - 1].end, nodes[node].end, std::string());
    };
    auto replace = [&](std::size_t i, std::size_t j) {
        const SourceSpan &item = nodes[change.oldItems[i]];
        if (!change.patch(item, i, j))
            mEdits.replace(item.begin, item.end, change.render(j, layout));
    };
    // New items go after the old item before them, or before the first one.
    auto add = [&](std::size_t afterOld, std::size_t fromNew, std::size_t toNew) {
        if (fromNew == toNew)
            return;
        std::string text;
        if (afterOld == 0) {
            for (std::size_t j = fromNew; j < toNew; ++j)
                text += change.render(j, layout) + layout.before;
            mEdits.insert(nodes[change.oldItems.empty() ? 0 : change.oldItems[0]].begin, text);
            return;
        }
        for (std::size_t j = fromNew; j < toNew; ++j)
            text += layout.before + change.render(j, layout);
        mEdits.insert(nodes[change.oldItems[afterOld - 1]].end, text);
    };

    // Between two kept items, removed and added items pair up as changed
    // items, which keep their places; the rest are removed or added.
    std::vector<std::pair<std::size_t, std::size_t>> kept = commonItems(change.oldKeys, change.newKeys);
    kept.emplace_back(change.oldKeys.size(), change.newKeys.size());
    std::size_t i = 0;
    std::size_t j = 0;
    for (const auto &[keptOld, keptNew] : kept) {
        const std::size_t changed = std::min(keptOld - i, keptNew - j);
        for (std::size_t k = 0; k < changed; ++k)
            replace(i + k, j + k);
        for (std::size_t k = i + changed; k < keptOld; ++k)
            remove(k);
        add(i + changed, j + changed, keptNew);
        i = keptOld + 1;
        j = keptNew + 1;
    }
}

// The whitespace before a child appended to parent: that before its last
// child, or a new line one step further in.
std::string LayoutKeepingWriter::newChildGap(const SourceSpan &parent, const Spans &siblings) const
{
    return siblings.empty() ? lineAt(indentOf(parent) + mUnit) : gapBefore(siblings, siblings.size() - 1, parent);
}

// A list the file lacks, with its items (rendered for the list's place),
// after the parent's last child node.
void LayoutKeepingWriter::addList(const SourceSpan &parent, const Spans &siblings, const char *name,
                                  const std::vector<std::string> &items)
{
    const std::string before = newChildGap(parent, siblings);
    const std::string listIndent = indentAfterLineBreak(before);
    const std::string itemGap = lineAt(listIndent + mUnit);
    std::string list = std::string("<") + name + ">";
    for (const std::string &item : items)
        list += itemGap + item;
    list += lineAt(listIndent) + "</" + name + ">";
    if (siblings.empty())
        mEdits.replace(parent.contentBegin, parent.contentEnd, before + list + lineAt(indentOf(parent)));
    else
        mEdits.insert(siblings.back().end, before + list);
}

// The content of a list without child nodes, written anew with items.
void LayoutKeepingWriter::replaceContent(const SourceSpan &list, const std::vector<std::string> &items)
{
    const ItemLayout layout = layoutOf(list, {});
    std::string content;
    for (const std::string &item : items)
        content += layout.before + item;
    content += lineAt(indentOf(list));
    if (list.emptyElementTag)
        mEdits.replace(list.begin, list.end, openTag(list) + content + "</" + std::string(list.name) + ">");
    else
        mEdits.replace(list.contentBegin, list.contentEnd, content);
}

// Slots keep their items while unchanged, whatever they hold; a changed slot
// has its item's values replaced, or loses its item when it is no longer
// written; a written slot without an item gets one after the item of the
// slot before it. Items stay in slot order, as a load reads them.
std::vector<int> LayoutKeepingWriter::changeSlotList(const SourceSpan &parent, const SlotListChange &change)
{
    const int slots = static_cast<int>(change.items.size());
    const Spans siblings = childSpans(mText, parent);
    const SourceSpan *list = firstChildNamed(siblings, change.name);
    const Spans nodes = list ? childSpans(mText, *list) : Spans();
    auto hasItem = [&](int n) { return change.items[n] >= 0 && static_cast<std::size_t>(change.items[n]) < nodes.size(); };
    auto stays = [&](int n) { return hasItem(n) ? !change.changed(n) || change.written(n) : change.written(n); };

    std::vector<int> after(slots, -1);
    int position = 0;
    for (int n = 0; n < slots; ++n) {
        if (stays(n))
            after[n] = position++;
    }
    const ItemLayout layout = list ? layoutOf(*list, nodes) : layoutForIndent(indentAfterLineBreak(newChildGap(parent, siblings)) + mUnit);
    std::vector<std::string> added;
    for (int n = 0; n < slots; ++n) {
        if (!hasItem(n) && change.written(n))
            added.push_back(change.render(n, layout));
    }
    if (!list || nodes.empty()) {
        if (!list && !added.empty())
            addList(parent, siblings, change.name, added);
        else if (list && !added.empty())
            replaceContent(*list, added);
        return after;
    }

    for (int n = 0; n < slots; ++n) {
        if (hasItem(n)) {
            const std::size_t node = static_cast<std::size_t>(change.items[n]);
            if (!change.changed(n))
                continue;
            if (!change.written(n))
                mEdits.replace(node == 0 ? list->contentBegin : nodes[node - 1].end, nodes[node].end, std::string());
            else if (!change.patch(nodes[node], n))
                mEdits.replace(nodes[node].begin, nodes[node].end, change.render(n, layout));
            continue;
        }
        if (!change.written(n))
            continue;
        // After the item of the nearest slot before that keeps one, else
        // before the first item that stays, else after the last item.
        int anchor = -1;
        for (int m = n - 1; m >= 0 && anchor < 0; --m) {
            if (hasItem(m) && stays(m))
                anchor = m;
        }
        if (anchor >= 0) {
            mEdits.insert(nodes[static_cast<std::size_t>(change.items[anchor])].end, layout.before + change.render(n, layout));
            continue;
        }
        for (int m = n + 1; m < slots && anchor < 0; ++m) {
            if (hasItem(m) && stays(m))
                anchor = m;
        }
        if (anchor >= 0)
            mEdits.insert(nodes[static_cast<std::size_t>(change.items[anchor])].begin, change.render(n, layout) + layout.before);
        else
            mEdits.insert(nodes.back().end, layout.before + change.render(n, layout));
    }
    return after;
}

std::string textElement(const char *name, const std::string &escapedText)
{
    return std::string("<") + name + ">" + escapedText + "</" + name + ">";
}

LayoutKeepingSave LayoutKeepingWriter::write(const PresetControls &file, const PresetControls &saved, const SlotItems &items)
{
    const Spans top = childSpans(mText, mRoot);
    const SourceSpan *editable = firstChildNamed(top, element::editable);
    const SourceSpan *primary = firstChildNamed(top, element::primarySkillMastery);
    if (!editable || !primary)
        throw DocumentError("The preset lacks the elements it was loaded from");
    const Spans values = childSpans(mText, *editable);

    if (file.primaryMastery != saved.primaryMastery)
        setText(*primary, itemText(mCatalogs.primaryMasteries, saved.primaryMastery));
    for (std::size_t i = 0; i < element::attributes.size(); ++i) {
        const SourceSpan *attribute = firstChildNamed(values, element::attributes[i]);
        if (attribute && file.attributes[i] != saved.attributes[i])
            setText(*attribute, saved.attributes[i]);
    }
    for (std::size_t i = 0; i < element::warMachines.size(); ++i) {
        const SourceSpan *machine = firstChildNamed(values, element::warMachines[i]);
        if (machine && file.warMachines[i] != saved.warMachines[i])
            setText(*machine, booleanText(saved.warMachines[i]));
    }

    // Every list's items are the list's child nodes in order, as a load
    // reads them; the flags are its elements.
    auto itemsOf = [&](const SourceSpan &parent, const char *name, bool elementsOnly) {
        std::vector<std::size_t> found;
        const Spans siblings = childSpans(mText, parent);
        if (const SourceSpan *list = firstChildNamed(siblings, name)) {
            const Spans nodes = childSpans(mText, *list);
            for (std::size_t n = 0; n < nodes.size(); ++n) {
                if (!elementsOnly || nodes[n].isElement())
                    found.push_back(n);
            }
        }
        return found;
    };

    SlotListChange army {element::armySlots, std::vector<int>(items.army.begin(), items.army.end()), {}, {}, {}, {}};
    army.changed = [&](int n) { return file.creatures[n] != saved.creatures[n] || file.counts[n] != saved.counts[n]; };
    army.written = [&](int n) { return saved.creatures[n] > 0 && !saved.counts[n].empty(); };
    army.render = [&](int n, const ItemLayout &layout) {
        return "<Item>" + layout.firstValue + textElement(element::creature, escaped(itemText(mCatalogs.creatures, saved.creatures[n])))
            + layout.betweenValues + textElement(element::count, escaped(saved.counts[n])) + layout.end + "</Item>";
    };
    army.patch = [&](const SourceSpan &item, int n) {
        return (file.creatures[n] == saved.creatures[n]
                || setValue(item, element::creature, itemText(mCatalogs.creatures, saved.creatures[n])))
            && (file.counts[n] == saved.counts[n] || setValue(item, element::count, saved.counts[n]));
    };

    SlotListChange skills {element::skills, std::vector<int>(items.skills.begin(), items.skills.end()), {}, {}, {}, {}};
    skills.changed = [&](int n) { return file.skills[n] != saved.skills[n] || file.skillMasteries[n] != saved.skillMasteries[n]; };
    skills.written = [&](int n) { return saved.skills[n] > 0 && saved.skillMasteries[n] >= 0; };
    skills.render = [&](int n, const ItemLayout &layout) {
        return "<Item>" + layout.firstValue + textElement(element::mastery, escaped(itemText(mCatalogs.masteries, saved.skillMasteries[n])))
            + layout.betweenValues + textElement(element::skillId, escaped(itemText(mCatalogs.skills, saved.skills[n]))) + layout.end
            + "</Item>";
    };
    skills.patch = [&](const SourceSpan &item, int n) {
        return (file.skillMasteries[n] == saved.skillMasteries[n]
                || setValue(item, element::mastery, itemText(mCatalogs.masteries, saved.skillMasteries[n])))
            && (file.skills[n] == saved.skills[n] || setValue(item, element::skillId, itemText(mCatalogs.skills, saved.skills[n])));
    };

    auto lineList = [&](const SourceSpan &parent, const char *name, const LineList &before, const std::vector<std::string> &after,
                        bool elementsOnly) {
        ListChange lines {name, itemsOf(parent, name, elementsOnly), {}, after, {}, {}};
        lines.oldKeys = before.lines;
        lines.oldKeys.resize(lines.oldItems.size());
        lines.render = [this, after](std::size_t j, const ItemLayout &) { return textElement(element::item, escaped(after[j])); };
        lines.patch = [this, after](const SourceSpan &item, std::size_t, std::size_t j) {
            if (!item.isElement())
                return false;
            setText(item, after[j]);
            return true;
        };
        return lines;
    };

    LayoutKeepingSave result;
    const std::vector<int> armyAfter = changeSlotList(mRoot, army);
    const std::vector<int> skillsAfter = changeSlotList(*editable, skills);
    std::copy(armyAfter.begin(), armyAfter.end(), result.items.army.begin());
    std::copy(skillsAfter.begin(), skillsAfter.end(), result.items.skills.begin());
    changeList(*editable, lineList(*editable, element::perkIds, file.perks, saved.perks.lines, false));
    changeList(*editable, lineList(*editable, element::spellIds, file.spells, saved.spells.lines, false));
    changeList(mRoot, lineList(mRoot, element::artifactIds, file.artifacts, saved.artifacts.lines, false));

    std::vector<std::string> flags;
    for (std::size_t line = 0; line < saved.artifacts.lines.size(); ++line)
        flags.push_back(artifactFlag(saved, line));
    bool flagsAlike = file.artifacts.lines.size() == saved.artifacts.lines.size();
    for (std::size_t line = 0; flagsAlike && line < flags.size(); ++line)
        flagsAlike = artifactFlag(file, line) == flags[line];
    if (!flagsAlike) {
        // The file's flags are the values it was loaded or last saved with,
        // never the tree's, which a failed save may have changed since. A
        // flag beyond the artifact lines has a key no new flag can equal
        // (flag texts hold no NUL), so it is removed rather than kept.
        const std::size_t flagItems = itemsOf(mRoot, element::isUntransferable, true).size();
        LineList inFile;
        for (std::size_t item = 0; item < flagItems; ++item) {
            inFile.lines.push_back(item < file.artifacts.lines.size() ? artifactFlag(file, item)
                                                                      : std::string(1, '\0') + std::to_string(item));
        }
        changeList(mRoot, lineList(mRoot, element::isUntransferable, inFile, flags, true));
    }
    result.text = mEdits.result();
    return result;
}

} // namespace

LayoutKeepingSave layoutKeepingText(const PresetDocument &document, const PresetCatalogs &catalogs,
                                    const PresetControls &file, const PresetControls &saved, const SlotItems &items)
{
    document.DocumentElement(); // "No active document"
    return LayoutKeepingWriter(document, catalogs).write(file, saved, items);
}

SlotItems slotItemsOf(const PresetDocument &document)
{
    SlotItems items;
    const pugi::xml_node root = document.DocumentElement();
    auto number = [](pugi::xml_node list, auto &slots) {
        std::size_t count = 0;
        for (pugi::xml_node child = list.first_child(); child; child = child.next_sibling())
            ++count;
        for (std::size_t n = 0; n < slots.size(); ++n)
            slots[n] = n < count ? static_cast<int>(n) : -1;
    };
    number(root.child(element::editable).child(element::skills), items.skills);
    number(root.child(element::armySlots), items.army);
    return items;
}

SlotItems writtenSlotItems(const PresetControls &controls)
{
    SlotItems items;
    int skill = 0;
    for (int n = 0; n < skillSlotCount; ++n)
        items.skills[n] = controls.skills[n] > 0 && controls.skillMasteries[n] >= 0 ? skill++ : -1;
    int stack = 0;
    for (int n = 0; n < armySlotCount; ++n)
        items.army[n] = controls.creatures[n] > 0 && !controls.counts[n].empty() ? stack++ : -1;
    return items;
}

} // namespace voriraz
