#include "EditorStart.h"

int main(int argc, char** argv) {
    return velmora::RunEditor(argc, argv);
}
