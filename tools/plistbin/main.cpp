// plistbin <input.plist> <output.plist>: writes the list in binary form. XML has no type for
// keyed-archive references, so a dictionary whose only entry is "CF$UID" with an integer
// becomes such a reference, as the system's own tools do.
#include <plist/plist.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>

namespace {

plist_t referenceOf(plist_t dict)
{
    if (plist_get_node_type(dict) != PLIST_DICT || plist_dict_get_size(dict) != 1)
        return nullptr;
    plist_t value = plist_dict_get_item(dict, "CF$UID");
    if (!value || plist_get_node_type(value) != PLIST_UINT)
        return nullptr;
    uint64_t number = 0;
    plist_get_uint_val(value, &number);
    return plist_new_uid(number);
}

void convert(plist_t node)
{
    if (plist_get_node_type(node) == PLIST_ARRAY) {
        for (uint32_t i = 0; i < plist_array_get_size(node); ++i) {
            plist_t item = plist_array_get_item(node, i);
            if (plist_t reference = referenceOf(item))
                plist_array_set_item(node, reference, i);
            else
                convert(item);
        }
    } else if (plist_get_node_type(node) == PLIST_DICT) {
        plist_dict_iter it = nullptr;
        plist_dict_new_iter(node, &it);
        char *key = nullptr;
        plist_t item = nullptr;
        for (plist_dict_next_item(node, it, &key, &item); item; plist_dict_next_item(node, it, &key, &item)) {
            if (plist_t reference = referenceOf(item))
                plist_dict_set_item(node, key, reference);
            else
                convert(item);
            std::free(key);
            key = nullptr;
        }
        std::free(it);
    }
}

}

int main(int argc, char **argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: plistbin <input.plist> <output.plist>\n");
        return 2;
    }
    std::ifstream in(argv[1], std::ios::binary);
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    plist_t root = nullptr;
    plist_from_memory(text.data(), uint32_t(text.size()), &root);
    if (!root) {
        std::fprintf(stderr, "plistbin: %s is not a property list\n", argv[1]);
        return 1;
    }
    convert(root);
    char *data = nullptr;
    uint32_t size = 0;
    plist_to_bin(root, &data, &size);
    std::ofstream out(argv[2], std::ios::binary | std::ios::trunc);
    out.write(data, size);
    std::free(data);
    plist_free(root);
    if (!out) {
        std::fprintf(stderr, "plistbin: cannot write %s\n", argv[2]);
        return 1;
    }
    return 0;
}
