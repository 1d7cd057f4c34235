// Writes the fuzz seed corpus: a few valid model images of both kinds behind their header byte.
#include "FuzzInput.h"
#include "SampleModels.h"

#include <cstdio>
#include <string>

namespace
{
bool writeSeed (const std::string& folder, const std::string& name, const FuzzHeader& h,
                const std::vector<uint8_t>& image)
{
    const std::string path = folder + "/" + name;
    FILE* out = std::fopen (path.c_str(), "wb");
    if (out == nullptr)
        return false;
    const uint8_t header = h.encode();
    bool ok = std::fwrite (&header, 1, 1, out) == 1 &&
              std::fwrite (image.data(), 1, image.size(), out) == image.size();
    return std::fclose (out) == 0 && ok;
}
} // namespace

int main (int argc, char** argv)
{
    if (argc != 2)
    {
        std::fprintf (stderr, "usage: %s CORPUS_FOLDER\n", argv[0]);
        return 2;
    }
    const std::string folder = argv[1];
    bool ok = true;

    SampleShape standard; // nv 2, ni 2, nx 3, 2 positions x 2 nets of 2-3-2
    ok &=
        writeSeed (folder, "standard-2x2", {false, 2, 2, 3}, sampleStandardFile (standard)->writeToMemory());

    SampleShape flat;
    flat.hidden = {};
    flat.positions = 1;
    flat.netsPerPosition = 1;
    flat.rates = {};
    flat.nx = 0;
    ok &= writeSeed (folder, "standard-no-hidden", {false, 2, 2, 0},
                     sampleStandardFile (flat)->writeToMemory());

    SampleShape pca;
    pca.nv = 4;
    pca.ni = 4;
    pca.nx = 5;
    pca.hidden = {4};
    ok &= writeSeed (folder, "pca-4x4", {true, 4, 4, 5}, samplePcaFile (pca, 3)->writeToMemory());

    SampleShape pcaSmall;
    pcaSmall.nv = 2;
    pcaSmall.ni = 1;
    pcaSmall.nx = 2;
    pcaSmall.positions = 3;
    pcaSmall.netsPerPosition = 1;
    pcaSmall.hidden = {2};
    ok &= writeSeed (folder, "pca-2x1", {true, 2, 1, 2}, samplePcaFile (pcaSmall, 1)->writeToMemory());
    return ok ? 0 : 1;
}
