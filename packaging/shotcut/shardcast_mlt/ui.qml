// Shardcast's panel in Shotcut, over the MLT filter "shardcast": the
// effect's parameters under their own names, in their groups, with their
// own ranges, decimals and defaults, each slider with a keyframe button.
// With keyframes on, a change sets a keyframe at the playhead; the
// Keyframes panel shows and edits them too, and the row follows the
// playhead. The filter reads the keys as the shardcast tool reads its keys.
//
// MLT keeps only six significant digits of a number it is handed, too few
// for a seed, so values are written as text with every digit. A keyframe
// takes a number, which makes a linear key, wherever six digits hold the
// value exactly, and text otherwise (a seed above 999999), which Shotcut
// makes a discrete key: that seed holds until the next key.
import QtQuick 2.12
import QtQuick.Controls 2.12
import QtQuick.Layouts 1.12
import Shotcut.Controls 1.0 as Shotcut

Item {
    id: panel

    readonly property var parameters: [
        // begin generated: parameter list (from pipeline/parameter_table.h; build update_parameter_texts)
        {kind: 'slider', property: 'compression_ratio', name: 'Compression ratio', minimum: 1, maximum: 100, decimals: 0, value: 100},
        {kind: 'group', name: 'Broken bytes'},
        {kind: 'slider', property: 'broken_bytes', name: 'Broken bytes', minimum: 0, maximum: 10000, decimals: 0, value: 0},
        {kind: 'slider', property: 'glitch_start', name: 'start of glitch', minimum: 0, maximum: Math.fround(99.9), decimals: 2, value: 0},
        {kind: 'slider', property: 'glitch_end', name: 'end of glitch', minimum: Math.fround(0.1), maximum: 100, decimals: 2, value: 100},
        {kind: 'slider', property: 'seed', name: 'seed', minimum: 1, maximum: 100000000, decimals: 0, value: 1},
        {kind: 'group', name: 'Quantization tables for Chroma'},
        {kind: 'switch', property: 'qtc', name: 'QTC', value: 0},
        {kind: 'slider', property: 'qtc_position', name: 'QTC position', minimum: 1, maximum: 64, decimals: 0, value: 5},
        {kind: 'slider', property: 'qtc_value', name: 'QTC value', minimum: 0, maximum: 255, decimals: 0, value: 0},
        {kind: 'slider', property: 'qtc_breaking_bytes', name: 'breaking bytes', minimum: 0, maximum: 64, decimals: 0, value: 0},
        {kind: 'slider', property: 'qtc_max_random', name: 'max random value', minimum: 0, maximum: 255, decimals: 0, value: 0},
        {kind: 'slider', property: 'qtc_seed', name: 'seed', minimum: 1, maximum: 100000000, decimals: 0, value: 1},
        {kind: 'group', name: 'Quantization tables for Luma'},
        {kind: 'switch', property: 'qtl', name: 'QTL', value: 0},
        {kind: 'slider', property: 'qtl_position', name: 'QTL position', minimum: 1, maximum: 64, decimals: 0, value: 5},
        {kind: 'slider', property: 'qtl_value', name: 'QTL value', minimum: 0, maximum: 255, decimals: 0, value: 0},
        {kind: 'slider', property: 'qtl_breaking_bytes', name: 'breaking bytes', minimum: 0, maximum: 64, decimals: 0, value: 0},
        {kind: 'slider', property: 'qtl_max_random', name: 'max random value', minimum: 0, maximum: 255, decimals: 0, value: 0},
        {kind: 'slider', property: 'qtl_seed', name: 'seed', minimum: 1, maximum: 100000000, decimals: 0, value: 1},
        {kind: 'group', name: 'Advanced settings'},
        {kind: 'switch', property: 'inverse_dct', name: 'Inverse DCT', value: 1},
        {kind: 'switch', property: 'ycbcr_to_rgb', name: 'YCbCrToRGB', value: 1},
        {kind: 'switch', property: 'dequantize', name: 'Dequantize', value: 1},
        {kind: 'group', name: 'Broken tools'},
        {kind: 'switch', property: 'filter1', name: 'filter 1', value: 0},
        {kind: 'slider', property: 'filter1_value', name: 'filter 1 value', minimum: -10, maximum: 10, decimals: 2, value: 1},
        {kind: 'switch', property: 'filter2', name: 'filter 2', value: 0},
        {kind: 'slider', property: 'filter2_value', name: 'filter 2 value', minimum: -10, maximum: 10, decimals: 2, value: -0.1}
        // end generated: parameter list
    ]

    // Rows show the values again when the playhead moves or another panel
    // changes the filter.
    signal refresh()

    // Sets the keyframe at the playhead, or with `keyed` false the value.
    function store(property, value, keyed) {
        if (!keyed)
            filter.set(property, String(value));
        else if (Number(value.toPrecision(6)) === value)
            filter.set(property, value, position());
        else
            filter.set(property, String(value), position());
    }

    // The frame at the playhead, counted from the filter's start.
    function position() {
        return Math.max(producer.position - (filter.in - producer.in), 0);
    }

    width: 460
    height: column.implicitHeight + 16

    Connections {
        function onChanged() {
            panel.refresh();
        }

        function onPropertyChanged(name) {
            panel.refresh();
        }

        target: filter
    }

    Connections {
        function onPositionChanged() {
            panel.refresh();
        }

        target: producer
    }

    ColumnLayout {
        id: column

        anchors.fill: parent
        anchors.margins: 8

        Repeater {
            model: panel.parameters

            RowLayout {
                id: row

                property var parameter: modelData
                property bool showing: true

                function show() {
                    if (parameter.kind === 'group')
                        return;
                    showing = true;
                    var value = filter.getDouble(parameter.property, panel.position());
                    if (parameter.kind === 'slider') {
                        slider.value = value;
                        keyframes.checked = filter.keyframeCount(parameter.property) > 0;
                    } else {
                        box.checked = value !== 0;
                    }
                    showing = false;
                }

                function store(value) {
                    if (!showing)
                        panel.store(parameter.property, value, parameter.kind === 'slider' && keyframes.checked);
                }

                Layout.fillWidth: true
                Component.onCompleted: {
                    if (filter.isNew && parameter.kind !== 'group')
                        filter.set(parameter.property, String(parameter.value));
                    show();
                }

                Connections {
                    function onRefresh() {
                        row.show();
                    }

                    target: panel
                }

                Label {
                    text: parameter.name
                    font.bold: parameter.kind === 'group'
                    Layout.topMargin: parameter.kind === 'group' ? 6 : 0
                    Layout.minimumWidth: parameter.kind === 'group' ? 0 : 130
                    leftPadding: parameter.kind === 'group' ? 0 : 12
                }

                Shotcut.SliderSpinner {
                    id: slider

                    visible: parameter.kind === 'slider'
                    minimumValue: parameter.kind === 'slider' ? parameter.minimum : 0
                    maximumValue: parameter.kind === 'slider' ? parameter.maximum : 1
                    decimals: parameter.kind === 'slider' ? parameter.decimals : 0
                    stepSize: parameter.kind === 'slider' ? Math.pow(10, -parameter.decimals) : 1
                    Layout.fillWidth: true
                    onValueChanged: row.store(value)
                }

                CheckBox {
                    id: box

                    visible: parameter.kind === 'switch'
                    onCheckedChanged: row.store(checked ? 1 : 0)
                }

                Item {
                    visible: parameter.kind === 'switch'
                    Layout.fillWidth: true
                }

                Shotcut.UndoButton {
                    visible: parameter.kind !== 'group'
                    onClicked: {
                        if (parameter.kind === 'slider')
                            slider.value = parameter.value;
                        else
                            box.checked = parameter.value === 1;
                    }
                }

                Shotcut.KeyframesButton {
                    id: keyframes

                    visible: parameter.kind === 'slider'
                    onToggled: {
                        filter.resetProperty(parameter.property);
                        panel.store(parameter.property, slider.value, checked);
                    }
                }

                Item {
                    visible: parameter.kind === 'switch'
                    implicitWidth: keyframes.implicitWidth
                }
            }
        }
    }
}
