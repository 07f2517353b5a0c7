// Reads a recording back the two ways a user's tools would: EDFlib, and BioSig's save2gdf (an
// independent reader, run as a program). Test code: it trusts neither the writer nor its header.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct EdfAnnotation {
    double onset = 0;  // seconds from the first sample
    std::string text;
};

struct EdfContents {
    bool opened = false;
    int signals = 0;
    std::vector<std::string> labels;
    std::vector<std::string> units;
    std::vector<double> rates;              // samples per second
    std::vector<std::vector<int>> digital;  // per signal
    std::vector<std::vector<double>> physical;
    double physicalMin = 0, physicalMax = 0;
    int samplesPerRecord = 0;
    long long records = 0;
    std::string equipment;
    std::string transducer;
    std::vector<EdfAnnotation> annotations;
};

EdfContents ReadWithEdflib(const std::string& path);

struct GdfContents {
    bool ran = false;
    int numberOfChannels = 0;  // the annotation signals counted in, as save2gdf counts them
    double samplingRate = 0;
    std::vector<std::string> labels;
    std::vector<std::vector<double>> values;  // per data signal, as save2gdf's ASCII export gives them
    std::vector<std::string> events;          // event descriptions
};

// Runs save2gdf -JSON and -f=ASCII on `path`, writing its outputs in `dir`.
GdfContents ReadWithSave2gdf(const std::string& path, const std::string& dir);
