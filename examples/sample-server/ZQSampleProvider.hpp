// What the sample server knows of one data provider of the application model: where it is served,
// whether it answers a collection, its parameters in order, its orders, search fields and
// advanced filter fields with the names their query parameters carry, and the types of its
// fields. Built once from the model by catalog(); immutable afterwards, so any thread reads it.
#pragma once

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "ZQDataLayerRemote/host/ZQObjectsModel/ZQApplicationModel.hpp"
#include "ZQDataLayerRemote/host/ZQObjectsModel/ZQEntityDataFieldInfo.hpp"

struct ZQSampleFilterField {
    std::string field;  // the row member it tests
    bool range = false;
    // "C" + the field name in lower case; a range adds "from" and "to".
    std::string parameterName;
    std::optional<ZQDataType> type;  // none when the model gives no type
};

class ZQSampleProvider {
  public:
    std::string name;  // "Sales.WorkWithInvoice.Invoice.List"
    std::string path;  // "Sales/WorkWithInvoice/Invoice/List", below "<base>rest/"
    bool isCollection = false;
    // The query-parameter names of the provider's input parameters (no leading "&"), in order.
    std::vector<std::string> parameters;
    // The fields of each order, by order index.
    std::vector<std::vector<std::string>> orders;
    std::vector<std::string> searchFields;
    std::vector<ZQSampleFilterField> filterFields;
    // Element name to its data type, for the elements whose type the model resolves.
    std::map<std::string, ZQDataType> fieldTypes;

    std::optional<ZQDataType> typeOfField(const std::string& field) const;

    // Every data provider of the model's lists, details and sections, by name. A provider
    // declared in several places takes the parameters of the first (file order): a list's own
    // parameters, a detail's, a section's own or else its detail's.
    static std::map<std::string, std::shared_ptr<const ZQSampleProvider>> catalog(
        const ZQApplicationModel& model);
};
