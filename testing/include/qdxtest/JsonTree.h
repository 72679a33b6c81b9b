// JSON reports read back as Boost property trees.
//
//   const auto tree = qdx::test::JsonTree(FormatReport(r, CheckFormat::Json));
//   EXPECT_EQ(tree.get<int>("runs"), 1);
//   EXPECT_EQ(qdx::test::JsonList<long long>(tree, "faces", "count"), expectedCounts);
#pragma once

#include <boost/property_tree/json_parser.hpp>
#include <boost/property_tree/ptree.hpp>

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

namespace qdx::test {

// `json` parsed. A text that is not JSON fails the test, naming the text, and gives an empty
// tree (whose reads then throw, which fails the test too).
inline boost::property_tree::ptree JsonTree(const std::string& json)
{
    boost::property_tree::ptree tree;
    std::istringstream in(json);
    try {
        boost::property_tree::read_json(in, tree);
    } catch (const boost::property_tree::json_parser_error& e) {
        ADD_FAILURE() << "not JSON (" << e.what() << "):\n" << json;
    }
    return tree;
}

// The elements of the array at `path`, each as a T, or each one's member `key` as a T.
template <typename T>
std::vector<T> JsonList(const boost::property_tree::ptree& tree, const std::string& path, const std::string& key = "")
{
    std::vector<T> list;
    for (const auto& element : tree.get_child(path))
        list.push_back(key.empty() ? element.second.get_value<T>() : element.second.get<T>(key));
    return list;
}

} // namespace qdx::test
