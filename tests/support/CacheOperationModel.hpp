// The application model of the cache operation tests and the cache fuzz targets: a cached and a
// non-cached order list (each with a sublevel of lines, orders, sections and an alphabetic index),
// a keyless cached collection and a single-item provider. Header-only.
#pragma once

namespace zqtest {

inline constexpr const char* kCacheOperationModelJSON = R"({
  "name": "CacheOperationTests",
  "appServerBaseUrl": "http://127.0.0.1:9/app/",
  "attributes": [
    {"name": "OrderId", "type": "numeric", "length": 6},
    {"name": "OrderName", "type": "varchar", "length": 40},
    {"name": "Category", "type": "varchar", "length": 20},
    {"name": "Amount", "type": "numeric", "length": 12, "decimals": 2},
    {"name": "OrderDate", "type": "date"},
    {"name": "Paid", "type": "boolean"},
    {"name": "Quantity", "type": "numeric", "length": 4},
    {"name": "Notes", "type": "varchar", "length": 100},
    {"name": "Priority", "type": "numeric", "length": 2},
    {"name": "Region", "type": "varchar", "length": 20},
    {"name": "LineId", "type": "numeric", "length": 9},
    {"name": "ProductName", "type": "varchar", "length": 40},
    {"name": "LineQty", "type": "numeric", "length": 4}
  ],
  "workWiths": [{
    "name": "Shop",
    "levels": [{
      "name": "Order",
      "list": {
        "data": [
          {"dataProvider": "Shop.Orders", "collection": true,
           "cache": {"enabled": true, "frequency": "always"},
           "elements": [{"name": "OrderId"}, {"name": "OrderName"}, {"name": "Category"},
                        {"name": "Amount"}, {"name": "OrderDate"}, {"name": "Paid"},
                        {"name": "Quantity"}, {"name": "Notes"}, {"name": "Priority"},
                        {"name": "Region"}],
           "key": ["OrderId"],
           "sublevels": [{"level": "Line",
                          "elements": [{"name": "LineId"}, {"name": "ProductName"},
                                       {"name": "LineQty"}],
                          "key": ["LineId"]}],
           "orders": [{"name": "ById", "fields": ["OrderId"]},
                      {"name": "ByName", "fields": ["OrderName"], "alphaIndex": true},
                      {"name": "ByCategory", "fields": ["Category", "OrderName"],
                       "groupBy": true, "groupByUpToField": 0},
                      {"name": "ByPriority", "fields": ["Priority"], "alphaIndex": true}],
           "breakBy": ["Region"]},
          {"dataProvider": "Shop.LiveOrders", "collection": true,
           "cache": {"enabled": false},
           "elements": [{"name": "OrderId"}, {"name": "OrderName"}, {"name": "Category"},
                        {"name": "Amount"}, {"name": "OrderDate"}, {"name": "Paid"},
                        {"name": "Quantity"}, {"name": "Notes"}, {"name": "Priority"},
                        {"name": "Region"}],
           "key": ["OrderId"],
           "sublevels": [{"level": "Line",
                          "elements": [{"name": "LineId"}, {"name": "ProductName"},
                                       {"name": "LineQty"}],
                          "key": ["LineId"]}],
           "orders": [{"name": "ByName", "fields": ["OrderName"], "alphaIndex": true}]},
          {"dataProvider": "Shop.Events", "collection": true,
           "cache": {"enabled": true},
           "elements": [{"name": "OrderName"}, {"name": "Notes"}]}
        ]
      },
      "detail": {
        "dataProvider": "Shop.Order.Detail",
        "parameters": [{"name": "OrderId", "attribute": "OrderId"}],
        "data": [{"dataProvider": "Shop.Order.Detail",
                  "cache": {"enabled": true},
                  "elements": [{"name": "OrderId"}, {"name": "OrderName"}, {"name": "Amount"}],
                  "key": ["OrderId"],
                  "sublevels": [{"level": "Line",
                                 "elements": [{"name": "LineId"}, {"name": "ProductName"},
                                              {"name": "LineQty"}],
                                 "key": ["LineId"]}]}]
      }
    }]
  }]
})";

}  // namespace zqtest
