#include "edf_reader.h"

#include <edflib.h>
#include <nlohmann/json.hpp>

#include <cstdlib>
#include <fstream>
#include <sstream>

namespace {

std::string Trimmed(const char* text)
{
    std::string s = text;
    while (!s.empty() && s.back() == ' ') s.pop_back();
    return s;
}

std::string Slurp(const std::string& path)
{
    std::ifstream in(path);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

}  // namespace

EdfContents ReadWithEdflib(const std::string& path)
{
    EdfContents c;
    edf_hdr_struct hdr{};
    if (edfopen_file_readonly(path.c_str(), &hdr, EDFLIB_READ_ALL_ANNOTATIONS) != 0) return c;
    c.opened = true;
    c.signals = hdr.edfsignals;
    c.records = hdr.datarecords_in_file;
    c.equipment = Trimmed(hdr.equipment);
    for (int s = 0; s < hdr.edfsignals; ++s) {
        const edf_param_struct& p = hdr.signalparam[s];
        c.labels.push_back(Trimmed(p.label));
        c.units.push_back(Trimmed(p.physdimension));
        c.rates.push_back(double(p.smp_in_datarecord) * EDFLIB_TIME_DIMENSION / double(hdr.datarecord_duration));
        c.samplesPerRecord = p.smp_in_datarecord;
        c.physicalMin = p.phys_min;
        c.physicalMax = p.phys_max;
        c.transducer = Trimmed(p.transducer);
        std::vector<int> digital(size_t(p.smp_in_file));
        std::vector<double> physical(size_t(p.smp_in_file));
        edfseek(hdr.handle, s, 0, EDFSEEK_SET);
        edfread_digital_samples(hdr.handle, s, int(p.smp_in_file), digital.data());
        edfseek(hdr.handle, s, 0, EDFSEEK_SET);
        edfread_physical_samples(hdr.handle, s, int(p.smp_in_file), physical.data());
        c.digital.push_back(std::move(digital));
        c.physical.push_back(std::move(physical));
    }
    for (long long i = 0; i < hdr.annotations_in_file; ++i) {
        edf_annotation_struct a{};
        edf_get_annotation(hdr.handle, int(i), &a);
        c.annotations.push_back({double(a.onset) / EDFLIB_TIME_DIMENSION, a.annotation});
    }
    edfclose_file(hdr.handle);
    return c;
}

GdfContents ReadWithSave2gdf(const std::string& path, const std::string& dir)
{
    GdfContents g;
    const std::string json = dir + "/header.json", ascii = dir + "/values";
    if (std::system(("save2gdf -JSON '" + path + "' >'" + json + "' 2>/dev/null").c_str()) != 0) return g;
    std::string text = Slurp(json);
    size_t brace = text.find('{');  // save2gdf prints a line of its own first
    if (brace == std::string::npos) return g;
    nlohmann::json header = nlohmann::json::parse(text.substr(brace), nullptr, false);
    if (header.is_discarded()) return g;
    g.numberOfChannels = header.value("NumberOfChannels", 0);
    g.samplingRate = header.value("Samplingrate", 0.0);
    for (const auto& channel : header["CHANNEL"]) g.labels.push_back(channel.value("Label", ""));
    if (header.contains("EVENT"))
        for (const auto& event : header["EVENT"]) g.events.push_back(event.value("Description", ""));
    if (std::system(("save2gdf -f=ASCII '" + path + "' '" + ascii + "' >/dev/null 2>&1").c_str()) != 0) return g;
    for (int s = 1;; ++s) {
        char suffix[16];
        std::snprintf(suffix, sizeof suffix, ".a%02d", s);
        std::ifstream in(ascii + suffix);
        if (!in) break;
        std::vector<double> values;
        for (double v; in >> v;) values.push_back(v);
        g.values.push_back(std::move(values));
    }
    g.ran = true;
    return g;
}
