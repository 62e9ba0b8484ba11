// The field and rule services of the sample application, answered from the customers that its
// data providers list: rest/Sales/CustomerChoices (the customers of a date, as combo choices),
// CustomerCode (the code for a name), CustomerDescription (the name for a code), CustomerSuggest
// (names starting with a text) and ComputeLineAmount (quantity times price). Owned by the server;
// called on its request threads; reads the data store's snapshots and keeps no state of its own.
#pragma once

#include <string>

#include "examples/sample-server/ZQSampleDataStore.hpp"

struct ZQSampleFieldAnswer {
    int status = 200;
    std::string body;  // JSON: an array of choices or of values, or the error body
};

class ZQSampleFieldServices {
  public:
    // The data provider whose rows are the customers.
    static constexpr const char* kCustomersProvider = "WorkWithCustomer.Customer.List";

    explicit ZQSampleFieldServices(const ZQSampleDataStore& store) : store_(store) {}

    // Whether the path below "rest/" is one of the services.
    static bool serves(const std::string& restPath);
    // query: as sent, after "?".
    [[nodiscard]] ZQSampleFieldAnswer answer(const std::string& restPath,
                                             const std::string& rawQuery) const;

  private:
    const ZQSampleDataStore& store_;
};
