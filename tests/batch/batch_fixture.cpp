#include "batch_fixture.h"

#include <fstream>
#include <iterator>

namespace scourvane::test
{

namespace
{
std::unique_ptr<ObjectPart> triangle(std::vector<Vertex> vertexes)
{
    auto part = makePart("p");
    setVertexes(*part, std::move(vertexes));
    addFace(*part, makeFace(0, {0, 1, 2}, "T"));
    return part;
}
} // namespace

std::unique_ptr<ObjectPart> plainModel()
{
    return triangle({{1, 0, 0}, {0, 1, 0}, {0, 0, 1}});
}

std::unique_ptr<ObjectPart> singleModel()
{
    auto part = triangle({{1, 0, 0}, {0, 1, 0}, {0, 0, 1}, {1, 0, 0}});
    addFace(*part, makeFace(0, {0, 1, 3}));
    return part;
}

std::unique_ptr<ObjectPart> manyModel()
{
    auto part = triangle({{1, 0, 0}, {0, 1, 0}, {0, 0, 1}, {1, 0, 0}, {0, 1, 0}, {5, 5, 5}});
    addFace(*part, makeFace(0, {3, 4, 2}, "T"));
    addFace(*part, makeFace(0, {0, 1, 5}));
    addFace(*part, makeFace(0, {2, 5, 0}));
    return part;
}

std::unique_ptr<ObjectPart> facelessModel()
{
    return makePart("p");
}

void writeModel(const std::string& path, const ObjectPart& root)
{
    std::vector<uint8_t> image;
    ASSERT_TRUE(root.buildModelImage(image));
    writeBytes(path, image);
}

std::string selectionOf(const std::vector<std::string>& strings)
{
    std::string buffer;
    for (const std::string& text : strings)
        buffer += text + '\0';
    buffer += '\0';
    buffer.resize(selectionBufferSize, '\0');
    return buffer;
}

std::string joinedPath(const std::string& directory, const std::string& name)
{
    return directory + "\\" + name;
}

std::string readText(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void BatchTest::SetUp()
{
    std::error_code error;
    previousDirectory_ = std::filesystem::current_path(error);
    std::filesystem::current_path(dir.path(), error);
    ASSERT_FALSE(error) << "cannot enter " << dir.path();
    shell::recording::reset();
    platform::clearFaults();
    context.mainWindow = &windows[0];
    for (int i = 0; i < 4; ++i)
        context.buttonWindows[i] = &windows[i + 1];
}

void BatchTest::TearDown()
{
    platform::clearFaults();
    std::error_code error;
    std::filesystem::current_path(previousDirectory_, error);
}

void BatchTest::run(const std::string* selection)
{
    context.selectionBuffer = selection ? selection->data() : nullptr;
    runCleaning(context);
}

bool BatchTest::logExists() const
{
    std::error_code error;
    return std::filesystem::exists(dir.file("log.txt"), error);
}

} // namespace scourvane::test
