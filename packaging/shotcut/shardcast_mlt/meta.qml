// Shardcast in Shotcut's filter list: the MLT filter "shardcast", with its
// panel in ui.qml. Every slider takes keyframes, which the Keyframes panel
// shows as curves in the effect's own range. (Projects made with the
// frei0r filter keep its panel, ../shardcast, hidden from the list.)
import QtQuick 2.0
import org.shotcut.qml 1.0

Metadata {
    type: Metadata.Filter
    name: "Shardcast"
    keywords: 'glitch jpeg damage broken compression datamosh shardcast'
    objectName: 'shardcast_mlt'
    mlt_service: 'shardcast'
    qml: 'ui.qml'

    keyframes {
        allowAnimateIn: false
        allowAnimateOut: false
        parameters: [
            // begin generated: keyframe parameters (from pipeline/parameter_table.h; build update_parameter_texts)
            Parameter { name: 'Compression ratio'; property: 'compression_ratio'; isCurve: true; minimum: 1; maximum: 100 },
            Parameter { name: 'Broken bytes'; property: 'broken_bytes'; isCurve: true; minimum: 0; maximum: 10000 },
            Parameter { name: 'start of glitch'; property: 'glitch_start'; isCurve: true; minimum: 0; maximum: Math.fround(99.9) },
            Parameter { name: 'end of glitch'; property: 'glitch_end'; isCurve: true; minimum: Math.fround(0.1); maximum: 100 },
            Parameter { name: 'seed (Broken bytes)'; property: 'seed'; isCurve: true; minimum: 1; maximum: 100000000 },
            Parameter { name: 'QTC position'; property: 'qtc_position'; isCurve: true; minimum: 1; maximum: 64 },
            Parameter { name: 'QTC value'; property: 'qtc_value'; isCurve: true; minimum: 0; maximum: 255 },
            Parameter { name: 'breaking bytes (Chroma)'; property: 'qtc_breaking_bytes'; isCurve: true; minimum: 0; maximum: 64 },
            Parameter { name: 'max random value (Chroma)'; property: 'qtc_max_random'; isCurve: true; minimum: 0; maximum: 255 },
            Parameter { name: 'seed (Chroma)'; property: 'qtc_seed'; isCurve: true; minimum: 1; maximum: 100000000 },
            Parameter { name: 'QTL position'; property: 'qtl_position'; isCurve: true; minimum: 1; maximum: 64 },
            Parameter { name: 'QTL value'; property: 'qtl_value'; isCurve: true; minimum: 0; maximum: 255 },
            Parameter { name: 'breaking bytes (Luma)'; property: 'qtl_breaking_bytes'; isCurve: true; minimum: 0; maximum: 64 },
            Parameter { name: 'max random value (Luma)'; property: 'qtl_max_random'; isCurve: true; minimum: 0; maximum: 255 },
            Parameter { name: 'seed (Luma)'; property: 'qtl_seed'; isCurve: true; minimum: 1; maximum: 100000000 },
            Parameter { name: 'filter 1 value'; property: 'filter1_value'; isCurve: true; minimum: -10; maximum: 10 },
            Parameter { name: 'filter 2 value'; property: 'filter2_value'; isCurve: true; minimum: -10; maximum: 10 }
            // end generated: keyframe parameters
        ]
    }
}
