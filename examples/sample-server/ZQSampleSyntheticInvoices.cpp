#include "examples/sample-server/ZQSampleSyntheticInvoices.hpp"

#include <array>
#include <cmath>
#include <vector>

#include "platform/DateFormat.hpp"

using platform::Value;

namespace {

struct Customer {
    int id;
    const char* name;
    const char* city;
    const char* country;
};
// The sample application's customers, so that customer look-ups and the alphabetic index
// behave as with the sample files.
constexpr std::array<Customer, 6> kCustomers = {{
    {1, "Acme Corp", "Portsmouth", "United Kingdom"},
    {2, "\xC3\x81lvarez Hnos.", "Sevilla", "Spain"},
    {3, "bluebird Ltd", "Dublin", "Ireland"},
    {4, "Cobalt Systems", "Leeds", "United Kingdom"},
    {5, "7 Seas Trading", "Rotterdam", "Netherlands"},
    {6, "Delta Foods", "Lyon", "France"},
}};

struct Product {
    const char* name;
    double price;
};
constexpr std::array<Product, 5> kProducts = {{
    {"Espresso beans 1 kg", 18.5},
    {"Paper cups (500)", 42.0},
    {"Milk frother", 129.9},
    {"Descaler 1 l", 12.75},
    {"Barista apron", 24.0},
}};

constexpr double kFirstDay = 1704067200;  // 2024-01-01T00:00:00Z
constexpr double kDay = 86400;

double cents(double amount) {
    return std::round(amount * 100) / 100;
}

struct Invoice {
    int64_t id;
    const Customer* customer;
    std::string date, due;
    bool paid;
    platform::Array lines;      // the detail's Line rows
    platform::Array listLines;  // the lines provider's rows
    double total = 0;
};

Invoice makeInvoice(size_t index, size_t linesPerInvoice) {
    Invoice invoice;
    invoice.id = static_cast<int64_t>(index);
    invoice.customer = &kCustomers[(index * 5) % kCustomers.size()];
    platform::Date day(kFirstDay + static_cast<double>((index * 37) % 730) * kDay);
    invoice.date = platform::iso8601String(day).substr(0, 10);
    invoice.due = platform::iso8601String(day.addingTimeInterval(30 * kDay + 17 * 3600));
    invoice.paid = index % 3 == 0;
    for (size_t line = 1; line <= linesPerInvoice; ++line) {
        const Product& product = kProducts[(index + line) % kProducts.size()];
        int64_t quantity = static_cast<int64_t>(1 + (index * line) % 9);
        double amount = cents(static_cast<double>(quantity) * product.price);
        invoice.total += amount;
        invoice.lines.push_back(Value::dictionary({{"InvoiceLineId", Value(line)},
                                                   {"ProductName", Value(product.name)},
                                                   {"LineQuantity", Value(quantity)},
                                                   {"LinePrice", Value(product.price)},
                                                   {"LineAmount", Value(amount)}}));
        invoice.listLines.push_back(Value::dictionary({{"InvoiceLineId", Value(line)},
                                                       {"ProductName", Value(product.name)},
                                                       {"LineQuantity", Value(quantity)},
                                                       {"LineAmount", Value(amount)}}));
    }
    if (linesPerInvoice == 0) invoice.total = cents(10 + static_cast<double>(index % 997) * 1.25);
    invoice.total = cents(invoice.total);
    return invoice;
}

}  // namespace

std::map<std::string, Value> ZQSampleSyntheticInvoices::make(size_t invoices,
                                                             size_t linesPerInvoice) {
    platform::Array list;
    // Collected as entries and sorted once: inserting keys one by one into a sorted dictionary
    // would move its tail on every insert.
    std::vector<platform::Dictionary::Entry> detail, general, lines;
    list.reserve(invoices);
    for (size_t index = 1; index <= invoices; ++index) {
        Invoice invoice = makeInvoice(index, linesPerInvoice);
        list.push_back(Value::dictionary({{"InvoiceId", Value(invoice.id)},
                                          {"InvoiceDate", Value(invoice.date)},
                                          {"CustomerName", Value(invoice.customer->name)},
                                          {"InvoiceTotal", Value(invoice.total)},
                                          {"InvoicePaid", Value(invoice.paid)}}));
        if (linesPerInvoice == 0) continue;
        std::string key = std::to_string(index);
        Value address =
            Value::dictionary({{"Street", Value(std::to_string(index) + " Market Street")},
                               {"City", Value(invoice.customer->city)},
                               {"ZipCode", Value(std::to_string(10000 + index % 90000))},
                               {"Country", Value(invoice.customer->country)}});
        detail.emplace_back(key, Value::dictionary({{"InvoiceId", Value(invoice.id)},
                                                    {"InvoiceDate", Value(invoice.date)},
                                                    {"InvoiceDueDateTime", Value(invoice.due)},
                                                    {"CustomerId", Value(invoice.customer->id)},
                                                    {"CustomerName", Value(invoice.customer->name)},
                                                    {"InvoiceTotal", Value(invoice.total)},
                                                    {"InvoicePaid", Value(invoice.paid)},
                                                    {"&ShippingAddress", address},
                                                    {"Line", Value(std::move(invoice.lines))}}));
        general.emplace_back(
            key, Value::dictionary({{"InvoiceId", Value(invoice.id)},
                                    {"InvoiceDate", Value(invoice.date)},
                                    {"CustomerName", Value(invoice.customer->name)},
                                    {"InvoiceTotal", Value(invoice.total)},
                                    {"&DaysOverdue", Value(invoice.paid ? 0 : int(index % 45))}}));
        lines.emplace_back(key, Value(std::move(invoice.listLines)));
    }
    std::map<std::string, Value> data;
    data[kListProvider] = Value(std::move(list));
    if (linesPerInvoice > 0) {
        data[kDetailProvider] = Value(platform::Dictionary::fromEntries(std::move(detail)));
        data[kGeneralProvider] = Value(platform::Dictionary::fromEntries(std::move(general)));
        data[kLinesProvider] = Value(platform::Dictionary::fromEntries(std::move(lines)));
    }
    return data;
}
