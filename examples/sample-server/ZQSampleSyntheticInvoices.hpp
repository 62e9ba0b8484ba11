// Deterministic invoice data of any size for the sample application's invoice providers, laid
// out as the data files are: the same sizes always give the same rows, so benchmark runs compare.
// Stateless; any thread.
#pragma once

#include <cstddef>
#include <map>
#include <string>

#include "platform/Value.hpp"

class ZQSampleSyntheticInvoices {
  public:
    static constexpr const char* kListProvider = "Sales.WorkWithInvoice.Invoice.List";
    static constexpr const char* kDetailProvider = "Sales.WorkWithInvoice.Invoice.Detail";
    static constexpr const char* kGeneralProvider = "Sales.WorkWithInvoice.Invoice.General";
    static constexpr const char* kLinesProvider = "Sales.WorkWithInvoice.Invoice.Lines";

    // Provider name to its data. Invoices 1..invoices in the list, by id; with linesPerInvoice
    // above 0 also the detail, general and lines providers keyed by invoice id (each invoice's
    // total is the sum of its lines). With 0 lines only the list is made, which keeps large
    // lists cheap in memory.
    static std::map<std::string, platform::Value> make(size_t invoices, size_t linesPerInvoice);
};
