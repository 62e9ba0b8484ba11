// One business component as the sample server keeps it: its instances are not stored apart but
// read from, and written into, the rows of the data providers that show them (the views), so a
// change through the component shows in the next answer of every list, detail and section that
// holds the instance, with a new Last-Modified. Built once from the model; immutable afterwards,
// so any thread calls it; the data store locks each provider's data for itself, and the caller
// (ZQSampleBusinessComponents) serialises the read-then-write of one change.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "ZQDataLayerRemote/host/ZQObjectsModel/ZQApplicationModel.hpp"
#include "examples/sample-server/ZQSampleDataStore.hpp"
#include "platform/Value.hpp"

// The key of one root-level instance: the typed value of each key attribute, in key order, and
// the text under which keyed data files hold it (the values' texts joined by ",").
struct ZQSampleInstanceKey {
    std::vector<platform::Value> values;
    std::string text;
};

// A change's outcome: the HTTP status and the instance (or the error message).
struct ZQSampleInstanceResult {
    int status = 200;
    platform::Value instance;  // the stored instance after the change (before, for a delete)
    std::string message;       // why, when status is not 2xx
};

class ZQSampleBusinessComponent {
  public:
    ZQSampleBusinessComponent(std::shared_ptr<const ZQBusinessComponentModel> component,
                              const ZQApplicationModel& model,
                              const ZQSampleDataStore::Catalog& catalog);

    const std::string& name() const { return component_->name(); }
    // The name with every "." replaced by "/": where the instances lie below "<base>rest/".
    const std::string& path() const { return path_; }
    size_t keyCount() const { return keyAttributes_.size(); }
    // Whether some data provider shows the component's instances; without one nothing is kept.
    bool hasViews() const { return !views_.empty(); }

    // The key from the texts of a URL (already percent-decoded), each read as its attribute's
    // type; none, with *error set, for a wrong count or a text that does not read so.
    std::optional<ZQSampleInstanceKey> keyFromTexts(const std::vector<std::string>& texts,
                                                    std::string* error) const;
    // The key a body gives (its key members); none, with *error set, when one is missing.
    std::optional<ZQSampleInstanceKey> keyFromInstance(const platform::Value& body,
                                                       std::string* error) const;

    // The instance, fields by name and child levels as arrays of lines under their level names;
    // none when no view holds it.
    std::optional<platform::Value> read(const ZQSampleDataStore& store,
                                        const ZQSampleInstanceKey& key) const;
    // Writes the body over the stored instance (or over the default values when there is none):
    // members the body leaves out keep their values, a child level it gives replaces that
    // level's lines. 200 for a stored instance, 201 for a new one, 400 for a bad body.
    [[nodiscard]] ZQSampleInstanceResult write(ZQSampleDataStore& store,
                                               const ZQSampleInstanceKey& key,
                                               const platform::Value& body,
                                               const std::optional<platform::Value>& stored) const;
    // Removes the instance from every view.
    [[nodiscard]] platform::ErrorPtr remove(ZQSampleDataStore& store,
                                            const ZQSampleInstanceKey& key) const;
    // Default values of a new root-level instance: zero, false, today, the empty text, and for a
    // single numeric key one past the largest stored; then the given values (by attribute name,
    // as URL texts) win. None, with *error set, for an unknown attribute or a text of the wrong
    // type.
    std::optional<platform::Value> defaults(
        const ZQSampleDataStore& store,
        const std::vector<std::pair<std::string, std::string>>& given, std::string* error) const;

  private:
    enum class Layout {
        Rows,       // an array of root-level rows (a list)
        KeyedItem,  // an object from the key text to one root-level item (a detail, a section)
        KeyedRows,  // an object from the key text to the lines of one child level
    };
    struct Nested {
        std::shared_ptr<const ZQBusinessComponentLevel> level;
        std::string member;  // the item's member that holds the lines
        std::vector<std::string> elements;
    };
    struct View {
        std::string provider;
        Layout layout = Layout::Rows;
        std::shared_ptr<const ZQBusinessComponentLevel> level;  // whose instances the rows are
        std::vector<std::string> elements;                      // the members its rows carry
        std::vector<Nested> nested;  // child levels nested in a keyed item
    };

    void addViewsOf(const ZQWorkWithData& data, const ZQSampleProvider& provider);
    // The typed value of a URL text for an attribute; none when it does not read as its type.
    static std::optional<platform::Value> typedValue(const ZQBusinessComponentAttribute& attribute,
                                                     const std::string& text);
    // Why the value cannot be stored in the attribute; empty when it can.
    static std::string valueProblem(const ZQBusinessComponentAttribute& attribute,
                                    const platform::Value& value);
    static std::string keyTextOf(const ZQBusinessComponentLevel& level, const platform::Value& row);
    std::optional<platform::Value> mergedInstance(const ZQSampleInstanceKey& key,
                                                  const platform::Dictionary& body,
                                                  const std::optional<platform::Value>& stored,
                                                  std::string* error) const;
    std::optional<platform::Value> editedView(const View& view, const platform::Value& data,
                                              const ZQSampleInstanceKey& key,
                                              const platform::Value* instance) const;

    const std::shared_ptr<const ZQBusinessComponentModel> component_;
    const std::shared_ptr<const ZQBusinessComponentLevel> root_;
    std::string path_;
    std::vector<std::shared_ptr<const ZQBusinessComponentAttribute>> keyAttributes_;
    std::vector<View> views_;
};
